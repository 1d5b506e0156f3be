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

// No lock guards this record: each field is a single machine word. A field
// the other thread may be using is changed only through the exchanges
// below, which are indivisible; whoever closes a handle takes it out with
// TakeHandle/TakeSocket first, so each is closed exactly once. Reads are
// plain: each read the worker makes follows a call into the system, so it
// is loaded afresh.
struct BridgeState {
    HANDLE workerThread;    // INVALID_HANDLE_VALUE: none
    HANDLE serialPort;      // INVALID_HANDLE_VALUE: none; opened and closed by the worker only
    SOCKET listenSocket;    // INVALID_SOCKET: none
    LONG running;           // 1 between a Start whose listener opened and Stop
    HWND menuBar;
    HWND mainWindow;
    HINSTANCE instance;
    SOCKET clientSocket;    // INVALID_SOCKET: none; the client being served
};

extern BridgeState g_bridge;

// Each leaves "none" in the slot and returns what was there, in one
// indivisible exchange.
HANDLE TakeHandle(HANDLE* slot);
SOCKET TakeSocket(SOCKET* slot);

// Each puts `value` into the slot in one indivisible exchange.
void StoreHandle(HANDLE* slot, HANDLE value);
void StoreSocket(SOCKET* slot, SOCKET value);

// Sets g_bridge.running the same way.
void SetRunning(LONG value);

#endif
