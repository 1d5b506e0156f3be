#include "discovery/port_discovery.h"

#include "platform/platform.h"

#include <string.h>

// Sub-key names and the paths built from them: 254 characters and a terminator.
static const int kKeyChars = 255;

void FillPortList(HWND list)
{
    AddPortsFromRegistry(list, L"Drivers\\Active", L"Name");
    AddPortsFromRegistry(list, L"Software\\Microsoft\\Bluetooth\\Serial\\Ports", L"Port");
}

// Adds the port named by `valueName` in the open sub-key `device`, if it
// names one.
static void AddPortFromKey(HWND list, HKEY device, const wchar_t* valueName)
{
    DWORD size = 0;
    if (RegQueryValueExW(device, valueName, NULL, NULL, NULL, &size) != ERROR_SUCCESS) {
        return;
    }
    // The buffer below is (size + 1) characters; on the handset's 32-bit
    // sizes that must not wrap round to a small allocation.
    if (size >= MAXDWORD / sizeof(wchar_t)) {
        return;
    }
    wchar_t* text = (wchar_t*)LocalAlloc(LPTR, ((SIZE_T)size + 1) * sizeof(wchar_t));
    if (text == NULL) {
        return;
    }
    // Drivers store the name with any type they like, not always with a
    // terminator. The buffer is zeroed and only `size` bytes are offered,
    // so whatever this read leaves behind ends within the buffer; the
    // terminator at the end of the stored data also drops a stray odd byte.
    DWORD offered = size;
    RegQueryValueExW(device, valueName, NULL, NULL, (LPBYTE)text, &offered);
    text[size / sizeof(wchar_t)] = 0;

    if (text[0] == L'C' && text[1] == L'O' && text[2] == L'M') {
        int last = (int)wcslen(text) - 1;
        if (text[last] == L':') {
            text[last] = 0;
        }
        SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)text);
    }
    LocalFree(text);
}

void AddPortsFromRegistry(HWND list, const wchar_t* root, const wchar_t* valueName)
{
    HKEY rootKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, root, 0, kRegistryReadAccess, &rootKey) != ERROR_SUCCESS) {
        return;
    }
    DWORD count = 0;
    if (RegQueryInfoKeyW(rootKey, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL,
                         NULL) != ERROR_SUCCESS) {
        count = 0;
    }
    const int rootLength = (int)wcslen(root);

    for (DWORD i = 0; i < count; ++i) {
        wchar_t name[kKeyChars];
        ZeroMemory(name, sizeof name);
        DWORD nameLength = kKeyChars;
        if (RegEnumKeyExW(rootKey, i, name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
            continue;
        }
        // A path that would not fit is skipped rather than cut: a cut path
        // could open some other key.
        const int nameChars = (int)wcslen(name);
        if (rootLength + 1 + nameChars > kKeyChars - 1) {
            continue;
        }
        wchar_t path[kKeyChars];
        ZeroMemory(path, sizeof path);
        wcscpy(path, root);
        path[rootLength] = L'\\';
        wcscpy(path + rootLength + 1, name);

        HKEY device = NULL;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, kRegistryReadAccess, &device) != ERROR_SUCCESS) {
            continue;
        }
        AddPortFromKey(list, device, valueName);
        RegCloseKey(device);
    }
    RegCloseKey(rootKey);
}
