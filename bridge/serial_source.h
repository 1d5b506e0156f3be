#ifndef VELMORA_SERIAL_SOURCE_H
#define VELMORA_SERIAL_SOURCE_H

#include <windows.h>

// Opens the device `name` followed by ":" for reading. Shows "Opened..." or
// "Open (<name>) failed: <code>" on the input line; returns the handle or
// INVALID_HANDLE_VALUE.
HANDLE OpenSerialPort(const wchar_t* name);

// Closes a serial handle, with the time-outs it had when opened put back,
// and shows the empty text or "Close failed: <code>" on the input line.
// INVALID_HANDLE_VALUE is left alone, without a word.
void CloseSerialPort(HANDLE port);

#endif
