#include "bridge/serial_source.h"

#include "bridge/bridge_state.h"
#include "bridge/status_sink.h"
#include "bridge/status_text.h"
#include "platform/platform.h"

#include <string.h>

HANDLE OpenSerialPort(const wchar_t* name)
{
    wchar_t path[kPortNameChars];
    wchar_t status[kStatusChars];
    memset(path, 0, sizeof path);
    memset(status, 0, sizeof status);
    HANDLE port = INVALID_HANDLE_VALUE;

    int length = 0;
    while (length < kPortNameChars && name[length] != 0) {
        ++length;
    }
    // The device path needs room for the ":" and the terminator; a longer
    // name is refused rather than cut to some other port's name.
    if (length > kPortNameChars - 2) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    } else {
        memcpy(path, name, length * sizeof(wchar_t));
        path[length] = L':';
        port = PlatformOpenSerial(path);
    }

    if (port == INVALID_HANDLE_VALUE) {
        // The name itself (at most 15 characters, never the colon).
        wchar_t shown[kPortNameChars];
        memset(shown, 0, sizeof shown);
        int error = (int)GetLastError();
        memcpy(shown, name, (length < kPortNameChars ? length : kPortNameChars - 1) * sizeof(wchar_t));
        FormatStatus(status, kStatusChars, L"Open (%ls) failed: %d", shown, error);
    } else {
        wcscpy(status, L"Opened...");
    }
    SetInputStatus(status);
    return port;
}

void CloseSerialPort(HANDLE port)
{
    if (port == INVALID_HANDLE_VALUE) {
        return;
    }
    wchar_t status[kStatusChars];
    memset(status, 0, sizeof status);
    if (!CloseHandle(port)) {
        FormatStatus(status, kStatusChars, L"Close failed: %d", (int)GetLastError());
    }
    SetInputStatus(status);
}
