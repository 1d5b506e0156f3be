#include "bridge/serial_source.h"

#include "bridge/bridge_state.h"
#include "bridge/status_sink.h"
#include "bridge/status_text.h"

#include <string.h>

// The time-outs the port had when it was opened, put back before it is
// closed, so that the next program to open it finds the driver's settings
// rather than ours; only when ours were set (`g_timeoutsSet`), as a port
// whose time-outs could not be set still has the driver's. Only the worker
// opens and closes the port, one at a time.
static COMMTIMEOUTS g_foundTimeouts;
static bool g_timeoutsSet = false;

// The handset names its serial devices "COM2:". Desktop Windows knows that
// form only up to COM9; its \\.\COM2 form reaches every port number.
static HANDLE OpenDevice(const wchar_t* path)
{
#ifdef _WIN32_WCE
    return CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
#else
    wchar_t device[kPortNameChars + 4];
    memset(device, 0, sizeof device);
    wcscpy(device, L"\\\\.\\");
    wcscpy(device + 4, path);
    device[wcslen(device) - 1] = 0;
    return CreateFileW(device, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
#endif
}

// A read on a silent device must end by itself: otherwise it would wait
// for as long as the device stays silent, and the worker would see Stop
// only once the device sends again. Nothing else is sure to end it. The
// handset keeps a closed port open for two seconds so that pending
// operations can complete; PurgeComm's page says it can end pending reads,
// but words its read flag for overlapped reads, which the handset lacks,
// and under Wine neither ends a read.
//
// So reads take the one time-out case the Windows CE reference gives for
// this (COMMTIMEOUTS, Remarks: interval and multiplier MAXDWORD, the
// constant above 0 and below MAXDWORD): a read returns at once with what
// has arrived, or with the first byte to arrive, or empty after
// kReadWaitMs. Wine lacks that case and keeps only the constant: its
// reads return once the buffer is full or kReadWaitMs have passed, so
// there data reaches the client up to kReadWaitMs late. Either way a
// silent device's read ends in time.
//
// Some drivers refuse time-outs (a GPS maker's virtual port may implement
// little more than open and read). Such a port is still read, with the
// driver's own time-outs: that serves the device. It costs a Stop that
// waits for the driver's read under way, which a silent device holds until
// it sends, and a device gone that is noticed only if the read fails. So
// a refusal is not an error here. A driver that takes the time-outs and
// still waits for data costs the same, and nothing here can tell.
static void SetReadTimeouts(HANDLE port)
{
    g_timeoutsSet = false;
    if (!GetCommTimeouts(port, &g_foundTimeouts)) {
        return;
    }
    COMMTIMEOUTS timeouts = g_foundTimeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kReadWaitMs;
    g_timeoutsSet = SetCommTimeouts(port, &timeouts) != FALSE;
}

HANDLE OpenSerialPort(const wchar_t* name)
{
    wchar_t path[kPortNameChars];
    wchar_t status[kStatusChars];
    memset(path, 0, sizeof path);
    memset(status, 0, sizeof status);
    HANDLE port = INVALID_HANDLE_VALUE;

    // Unsigned, as the byte counts it is multiplied into are.
    DWORD length = 0;
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
        port = OpenDevice(path);
    }
    if (port != INVALID_HANDLE_VALUE) {
        SetReadTimeouts(port);
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
    // Only the worker closes the port, between reads, so no read is
    // under way here that would need ending first.
    if (g_timeoutsSet) {
        SetCommTimeouts(port, &g_foundTimeouts);
        g_timeoutsSet = false;
    }
    if (!CloseHandle(port)) {
        FormatStatus(status, kStatusChars, L"Close failed: %d", (int)GetLastError());
    }
    SetInputStatus(status);
}
