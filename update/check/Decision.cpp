#include "update/check/Decision.h"

UpdateAction DecideUpdate(int nCompare, bool bTestUpdate, int nForce, bool bPrompt) {
    if (nCompare > 0 || bTestUpdate) return nForce == 1 ? UpdateAction::StartDownload : UpdateAction::ShowNewVersion;
    return bPrompt ? UpdateAction::ShowNoUpdate : UpdateAction::CloseWindow;
}

bool TestSwitchCounts(bool bTestUpdate, int nCompare, bool bKeyed) { return bTestUpdate && (!bKeyed || nCompare >= 0); }
