#include "platform/platform.h"

// Desktop Windows does not know the handset's "COM2:" device names past
// COM9; the \\.\ form reaches every port number.
HANDLE PlatformOpenSerial(const wchar_t* path)
{
    wchar_t device[24];
    ZeroMemory(device, sizeof device);
    lstrcpyW(device, L"\\\\.\\");
    lstrcpynW(device + 4, path, (int)(sizeof device / sizeof device[0]) - 4);
    int last = lstrlenW(device) - 1;
    if (device[last] == L':') {
        device[last] = 0;
    }
    // Overlapped only so that a read can be woken (see below); to the
    // caller the port still behaves as a plain blocking reader.
    return CreateFileW(device, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, NULL);
}

// A thread blocked in a plain ReadFile on a serial port is not woken when
// another thread closes the handle here, nor by purging or cancelling.
// A read that waits on its own event is: closing the handle completes it
// with an error. The event is made once and kept; only the worker reads.
BOOL PlatformReadSerial(HANDLE port, void* buffer, DWORD size, DWORD* got)
{
    static HANDLE readDone = NULL;
    if (readDone == NULL) {
        readDone = CreateEventW(NULL, TRUE, FALSE, NULL);
        if (readDone == NULL) {
            return FALSE;
        }
    }
    OVERLAPPED pending;
    ZeroMemory(&pending, sizeof pending);
    pending.hEvent = readDone;
    ResetEvent(readDone);
    *got = 0;
    if (ReadFile(port, buffer, size, got, &pending)) {
        return TRUE;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return FALSE;
    }
    WaitForSingleObject(readDone, INFINITE);
    // Not waiting here: the handle may already be closed, and the outcome
    // is in `pending` by now.
    return GetOverlappedResult(port, &pending, got, FALSE);
}
