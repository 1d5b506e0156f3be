#include "settings/settings.h"

#include "bridge/bridge_state.h"
#include "platform/platform.h"

#include <string.h>

static const DWORD kDefaultTcpPort = 20175;

void LoadSettings(DWORD* port, wchar_t* name, DWORD nameBytes)
{
    *port = kDefaultTcpPort;
    wcscpy(name, L"COM2");

    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, kRegistryReadAccess, &key) != ERROR_SUCCESS) {
        return;
    }

    // Values are read into scratch space first: a value too large for the
    // room offered leaves the platform's buffer unspecified, and a value of
    // the wrong type was never written by this program. Either keeps the
    // default.
    DWORD type = 0;
    DWORD stored = *port;
    DWORD size = sizeof stored;
    if (RegQueryValueExW(key, L"TcpPort", NULL, &type, (BYTE*)&stored, &size) == ERROR_SUCCESS &&
        (type == REG_DWORD || type == REG_BINARY)) {
        // A value of 1 to 3 bytes replaces only as many low-order bytes.
        // Ports of 32768 and up are stored sign-widened; only the low 16
        // bits are the port, and the field must show that port, not a
        // number above 4 billion.
        *port = stored & 0xFFFF;
    }

    wchar_t text[kPortNameChars + 1];
    memset(text, 0, sizeof text);
    DWORD room = nameBytes < kPortNameChars * sizeof(wchar_t) ? nameBytes : kPortNameChars * sizeof(wchar_t);
    size = room;
    if (RegQueryValueExW(key, L"SerialPort", NULL, &type, (BYTE*)text, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        // A value stored without its terminator is taken as far as the room
        // goes: the 16 bytes the window offers are eight characters, and
        // its zero-filled name still ends after them. Only a name that
        // would fill the whole buffer is refused, as it would leave none.
        DWORD chars = room / sizeof(wchar_t);
        DWORD length = 0;
        while (length < chars && text[length] != 0) {
            ++length;
        }
        if (length < (DWORD)kPortNameChars) {
            memcpy(name, text, (length + 1) * sizeof(wchar_t));
        }
    }
    RegCloseKey(key);
}

void SaveSettings(short port, const wchar_t* name)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, NULL, 0, kRegistryWriteAccess, NULL,
                        &key, NULL) != ERROR_SUCCESS) {
        return;
    }
    // Widened with its sign, as every version has stored it.
    LONG widened = port;
    RegSetValueExW(key, L"TcpPort", 0, REG_DWORD, (const BYTE*)&widened, sizeof widened);

    DWORD length = 0;
    while (length < (DWORD)kPortNameChars - 1 && name[length] != 0) {
        ++length;
    }
    wchar_t text[kPortNameChars];
    memset(text, 0, sizeof text);
    memcpy(text, name, length * sizeof(wchar_t));
    RegSetValueExW(key, L"SerialPort", 0, REG_SZ, (const BYTE*)text, (length + 1) * sizeof(wchar_t));
    // The handset keeps registry changes in memory until they are flushed,
    // unless its maker added a flush of their own; a reset would then bring
    // back the earlier port. One flush covers both values. A failed flush
    // leaves them written, and this session has them either way.
    RegFlushKey(key);
    RegCloseKey(key);
}
