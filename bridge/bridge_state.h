// The record shared by the UI thread and the worker.
#ifndef VELMORA_BRIDGE_STATE_H
#define VELMORA_BRIDGE_STATE_H

#include <winsock2.h>
#include <windows.h>

// Buffer sizes in characters, each zero-filled before use.
const int kPortNameChars = 16;      // at most 15 characters and the terminator
const int kStatusChars = 256;
const int kAcceptStatusChars = 64;
const int kTransferBytes = 512;

// No lock guards this record. The handles are single machine words that
// either thread may find changed at any moment; whoever closes one takes it
// out with TakeHandle/TakeSocket first, so each is closed exactly once.
struct BridgeState {
    HANDLE volatile workerThread;   // INVALID_HANDLE_VALUE: none
    HANDLE volatile serialPort;     // INVALID_HANDLE_VALUE: none
    SOCKET volatile listenSocket;   // INVALID_SOCKET: none
    LONG volatile running;          // 1 between a Start whose listener opened and Stop
    HWND menuBar;
    HWND mainWindow;
    HINSTANCE instance;
};

extern BridgeState g_bridge;

// Each leaves "none" in the slot and returns what was there, in one
// indivisible exchange.
HANDLE TakeHandle(HANDLE volatile* slot);
SOCKET TakeSocket(SOCKET volatile* slot);

#endif
