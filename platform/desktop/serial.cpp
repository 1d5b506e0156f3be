#include "platform/platform.h"

// How long a read waits for its first byte before it returns empty. Bounds
// how long Stop waits for a worker reading a silent device.
static const DWORD kReadWakeMs = 200;

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
    HANDLE port = CreateFileW(device, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port != INVALID_HANDLE_VALUE) {
        // On the handset, closing the port from another thread ends a read
        // that waits on it; here nothing does so reliably: not for a plain
        // read, and not even for an overlapped one waiting on its event,
        // which under Wine now and then waits on for ever after the close.
        // So a read here returns what has arrived as soon as anything has,
        // and returns empty after a short wait on a silent device; the
        // worker then sees Stop, or reads on and finds the port closed.
        COMMTIMEOUTS timeouts;
        ZeroMemory(&timeouts, sizeof timeouts);
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = kReadWakeMs;
        if (!SetCommTimeouts(port, &timeouts)) {
            // Without them Stop could not reach a read on a silent device.
            // The open fails instead, reporting this call's error.
            DWORD error = GetLastError();
            CloseHandle(port);
            SetLastError(error);
            port = INVALID_HANDLE_VALUE;
        }
    }
    return port;
}

BOOL PlatformReadSerial(HANDLE port, void* buffer, DWORD size, DWORD* got)
{
    return ReadFile(port, buffer, size, got, NULL);
}
