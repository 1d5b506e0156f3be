#ifndef VELMORA_SERIAL_SOURCE_H
#define VELMORA_SERIAL_SOURCE_H

#include <windows.h>

// How long a read on a silent device waits before it returns empty, on a
// port that takes our time-outs. It bounds how long Stop waits for a
// worker reading a silent device, and no empty read follows another
// sooner than this.
const DWORD kReadWaitMs = 200;

// Opens the device `name` followed by ":" for reading. Shows "Opened..." or
// "Open (<name>) failed: <code>" on the input line; returns the handle or
// INVALID_HANDLE_VALUE.
HANDLE OpenSerialPort(const wchar_t* name);

// Closes a serial handle, with the time-outs it had when opened put back
// if they were changed, and shows the empty text or "Close failed: <code>"
// on the input line.
// INVALID_HANDLE_VALUE is left alone, without a word.
void CloseSerialPort(HANDLE port);

#endif
