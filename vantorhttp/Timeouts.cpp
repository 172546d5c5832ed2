// The transfer's time-outs (Timeouts.h): alone in this file, so that a test
// program that defines GetTransferTimeouts() itself never links this one.
#include "Timeouts.h"

TransferTimeouts GetTransferTimeouts() { return {10000, 30000}; }
