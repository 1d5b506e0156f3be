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
};

TEST_F(Settings, NoKeyGivesTheDefaults)
{
    ExpectSettings(20175, L"COM2");
}

TEST_F(Settings, OnlyTheNameStoredKeepsTheDefaultPort)
{
    StoreText(kSettingsKey, L"SerialPort", L"COM7");
    ExpectSettings(20175, L"COM7");
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

    ExpectSettings(4000, L"COM5");
}

TEST_F(Settings, HighPortIsStoredSignWidenedAndShowsAsItself)
{
    SaveSettings(static_cast<short>(40000), L"COM1");
    DWORD raw = 0, size = sizeof raw;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"TcpPort", RRF_RT_REG_DWORD, NULL, &raw, &size));
    EXPECT_EQ(0xFFFF9C40u, raw) << "stored as every earlier version stored it";
    const DWORD port = ExpectSettings(40000, L"COM1", "the field shows the port that will be bound");
    EXPECT_EQ(static_cast<short>(40000), static_cast<short>(port & 0xFFFF));

    StoreDword(kSettingsKey, L"TcpPort", 0xFFFF8000);   // written by an earlier version for 32768
    ExpectSettings(32768, L"COM1");
}

TEST_F(Settings, EmptyNameIsSavedAsTheEmptyString)
{
    SaveSettings(20175, L"");
    wchar_t text[8] = {L'x'};
    DWORD size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"SerialPort", RRF_RT_REG_SZ, NULL, text, &size));
    EXPECT_EQ(2u, size);
    ExpectSettings(20175, L"");
}

TEST_F(Settings, ShortPortValuesReplaceOnlyTheirLowBytes)
{
    unsigned char one[] = {0x05};
    StoreValue(kSettingsKey, L"TcpPort", REG_BINARY, one, 1);
    ExpectSettings((20175u & 0xFF00u) | 0x05u, L"COM2");

    unsigned char three[] = {0x01, 0x02, 0x03};
    StoreValue(kSettingsKey, L"TcpPort", REG_BINARY, three, 3);
    ExpectSettings(0x0201, L"COM2", "only the low 16 bits are a port");
}

TEST_F(Settings, OversizedAndWrongTypedValuesKeepTheDefaults)
{
    unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    StoreValue(kSettingsKey, L"TcpPort", REG_BINARY, eight, 8);
    StoreText(kSettingsKey, L"SerialPort", L"COM12345");   // 8 characters: 18 bytes, more than the 16 offered
    ExpectSettings(20175, L"COM2");

    const wchar_t text[] = L"1";   // 4 bytes, but a string
    StoreValue(kSettingsKey, L"TcpPort", REG_SZ, text, sizeof text);
    StoreDword(kSettingsKey, L"SerialPort", 7);
    ExpectSettings(20175, L"COM2");

    StoreText(kSettingsKey, L"SerialPort", L"COM1234");   // seven characters and the terminator just fit
    ExpectSettings(20175, L"COM1234");
}

}  // namespace
