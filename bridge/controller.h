#ifndef VELMORA_CONTROLLER_H
#define VELMORA_CONTROLLER_H

#include <windows.h>

// The Start/Stop key's command, on the UI thread: starts the bridge when no
// worker is recorded, stops it otherwise, and does nothing while the key
// is greyed. Never waits for the worker.
void ToggleBridge();

#endif
