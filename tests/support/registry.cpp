#include "support/registry.h"

#include "settings/settings.h"

#include <gtest/gtest.h>

#include <vector>

void StoreValue(const std::wstring& key, const wchar_t* value, DWORD type, const void* data, DWORD size)
{
    HKEY handle = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, NULL, 0, KEY_READ | KEY_WRITE,
                                             NULL, &handle, NULL))
        << "creating " << std::string(key.begin(), key.end());
    if (value != NULL) {
        // RegSetValueExW stores one character more than it is given when the
        // character just past string data is zero, so the bytes are handed
        // over with a non-zero one after them.
        std::vector<BYTE> followed(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
        followed.insert(followed.end(), sizeof(wchar_t), 0xFF);
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(handle, value, 0, type, size == 0 ? NULL : followed.data(), size));
        DWORD stored = 0;
        RegQueryValueExW(handle, value, NULL, NULL, NULL, &stored);
        EXPECT_EQ(size, stored) << "stored other bytes than given";
    }
    RegCloseKey(handle);
}

void StoreText(const std::wstring& key, const wchar_t* value, const std::wstring& text)
{
    StoreValue(key, value, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void StoreDword(const std::wstring& key, const wchar_t* value, DWORD number)
{
    StoreValue(key, value, REG_DWORD, &number, sizeof number);
}

DWORD ExpectSettings(DWORD port, const wchar_t* name, const char* why)
{
    DWORD loadedPort = 0xDEADBEEF;
    wchar_t loadedName[16] = {};
    LoadSettings(&loadedPort, loadedName, 16);
    EXPECT_EQ(port, loadedPort) << why;
    EXPECT_STREQ(name, loadedName);
    return loadedPort;
}
