#include "platform/platform.h"

HANDLE PlatformOpenSerial(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
}

// On the handset a plain blocking read already ends when another thread
// closes the handle.
BOOL PlatformReadSerial(HANDLE port, void* buffer, DWORD size, DWORD* got)
{
    return ReadFile(port, buffer, size, got, NULL);
}
