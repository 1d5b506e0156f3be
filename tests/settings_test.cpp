// The settings store against the real registry of the test's Wine prefix;
// every test starts from an empty key.
#include "settings/settings.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey); }

    // What the window does at start-up.
    void Load()
    {
        port = 0xDEADBEEF;
        wmemset(name, 0, 16);
        LoadSettings(&port, name, 16);
    }

    DWORD port = 0;
    wchar_t name[16] = {};
};

TEST_F(Settings, NoKeyGivesTheDefaults)
{
    Load();
    EXPECT_EQ(20175u, port);
    EXPECT_STREQ(L"COM2", name);
}

TEST_F(Settings, OnlyTheNameStoredKeepsTheDefaultPort)
{
    StoreText(kSettingsKey, L"SerialPort", L"COM7");
    Load();
    EXPECT_EQ(20175u, port);
    EXPECT_STREQ(L"COM7", name);
}

TEST_F(Settings, SaveWritesTheExactValuesAndLoadReadsThemBack)
{
    SaveSettings(4000, L"COM5");
    DWORD raw = 0, size = sizeof raw, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"TcpPort", RRF_RT_ANY, &type, &raw, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4000u, raw);
    wchar_t text[32] = {};
    size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"SerialPort", RRF_RT_ANY, &type, text, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(10u, size) << "characters and terminator, two bytes each";
    EXPECT_STREQ(L"COM5", text);

    Load();
    EXPECT_EQ(4000u, port);
    EXPECT_STREQ(L"COM5", name);
}

TEST_F(Settings, HighPortIsStoredSignWidenedAndShowsAsItself)
{
    SaveSettings(static_cast<short>(40000), L"COM1");
    DWORD raw = 0, size = sizeof raw;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"TcpPort", RRF_RT_REG_DWORD, NULL, &raw, &size));
    EXPECT_EQ(0xFFFF9C40u, raw) << "stored as every earlier version stored it";
    Load();
    EXPECT_EQ(40000u, port) << "the field shows the port that will be bound";
    EXPECT_EQ(static_cast<short>(40000), static_cast<short>(port & 0xFFFF));

    StoreDword(kSettingsKey, L"TcpPort", 0xFFFF8000);   // written by an earlier version for 32768
    Load();
    EXPECT_EQ(32768u, port);
}

TEST_F(Settings, EmptyNameIsSavedAsTheEmptyString)
{
    SaveSettings(20175, L"");
    wchar_t text[8] = {L'x'};
    DWORD size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"SerialPort", RRF_RT_REG_SZ, NULL, text, &size));
    EXPECT_EQ(2u, size);
    Load();
    EXPECT_STREQ(L"", name);
}

TEST_F(Settings, ShortPortValuesReplaceOnlyTheirLowBytes)
{
    unsigned char one[] = {0x05};
    StoreValue(kSettingsKey, L"TcpPort", REG_BINARY, one, 1);
    Load();
    EXPECT_EQ((20175u & 0xFF00u) | 0x05u, port);

    unsigned char three[] = {0x01, 0x02, 0x03};
    StoreValue(kSettingsKey, L"TcpPort", REG_BINARY, three, 3);
    Load();
    EXPECT_EQ(0x0201u, port) << "only the low 16 bits are a port";
}

TEST_F(Settings, OversizedAndWrongTypedValuesKeepTheDefaults)
{
    unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    StoreValue(kSettingsKey, L"TcpPort", REG_BINARY, eight, 8);
    StoreText(kSettingsKey, L"SerialPort", L"COM12345");   // 8 characters: 18 bytes, more than the 16 offered
    Load();
    EXPECT_EQ(20175u, port);
    EXPECT_STREQ(L"COM2", name);

    const wchar_t text[] = L"1";   // 4 bytes, but a string
    StoreValue(kSettingsKey, L"TcpPort", REG_SZ, text, sizeof text);
    StoreDword(kSettingsKey, L"SerialPort", 7);
    Load();
    EXPECT_EQ(20175u, port);
    EXPECT_STREQ(L"COM2", name);

    StoreText(kSettingsKey, L"SerialPort", L"COM1234");   // seven characters and the terminator just fit
    Load();
    EXPECT_STREQ(L"COM1234", name);
}

}  // namespace
