#ifndef VELMORA_CONTROLLER_H
#define VELMORA_CONTROLLER_H

#include <windows.h>

// The Start/Stop key's command, on the UI thread: starts the bridge when no
// worker is recorded, stops it otherwise. Never waits for the worker.
void ToggleBridge();

// How the worker thread is started; tests swap it to make creation fail.
typedef HANDLE (*StartThreadFunction)(LPTHREAD_START_ROUTINE routine);
extern StartThreadFunction g_startThread;

#endif
