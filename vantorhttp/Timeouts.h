// How long a transfer waits on the network: to connect, and for the next
// byte once connected. In a unit of its own because it is the one setting
// the library's tests must change (to see a stall end within seconds): they
// link their own definition in place of this one.
#pragma once

struct TransferTimeouts {
    int connectMs;
    int idleMs;
};

// 10 s to connect, 30 s without a byte; read once per transfer as it starts.
TransferTimeouts GetTransferTimeouts();
