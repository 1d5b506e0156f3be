#ifndef VELMORA_WORKER_H
#define VELMORA_WORKER_H

#include <windows.h>

// The worker thread: serves one loopback client at a time with the bytes of
// the selected serial port until Stop clears `running` and closes the
// listener and the client; the worker closes the port itself. Takes no
// argument; returns 0.
DWORD WINAPI RunBridge(LPVOID unused);

#endif
