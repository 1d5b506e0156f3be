// Port discovery against the real registry of the test prefix and a real
// sorted list box. Both roots are fixed HKEY_LOCAL_MACHINE paths shared by
// every case, so each case empties them first and writes only what it needs.
#include "discovery/port_discovery.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::wstring kDrivers = L"Drivers\\Active";
const std::wstring kBluetooth = L"Software\\Microsoft\\Bluetooth\\Serial\\Ports";

using Names = std::vector<std::wstring>;

void ClearRoot(const std::wstring& root)
{
    LONG result = RegDeleteTreeW(HKEY_LOCAL_MACHINE, root.c_str());
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearRoot(kDrivers);
        ClearRoot(kBluetooth);
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, NULL,
                                  NULL, GetModuleHandleW(NULL), NULL);
        ASSERT_NE(static_cast<HWND>(NULL), parent_) << "no window: is DISPLAY set?";
        list_ = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_SORT | LBS_HASSTRINGS, 0, 0,
                                100, 100, parent_, NULL, GetModuleHandleW(NULL), NULL);
        ASSERT_NE(static_cast<HWND>(NULL), list_);
    }

    void TearDown() override
    {
        if (parent_ != NULL) DestroyWindow(parent_);
        ClearRoot(kDrivers);
        ClearRoot(kBluetooth);
    }

    // Fills the list as the window does; its entries in its own (sorted) order.
    Names Listed() const
    {
        FillPortList(list_);
        Names items;
        int count = static_cast<int>(SendMessageW(list_, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            int length = static_cast<int>(SendMessageW(list_, LB_GETTEXTLEN, i, 0));
            std::wstring text(length + 1, L'\0');
            SendMessageW(list_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
            text.resize(length);
            items.push_back(text);
        }
        return items;
    }

    HWND parent_ = NULL;
    HWND list_ = NULL;
};

TEST_F(Discovery, DriverAndBluetoothPortsAppearAsBareNames)
{
    StoreText(kDrivers + L"\\0001", L"Name", L"COM1:");
    StoreText(kBluetooth + L"\\0", L"Port", L"COM8");

    EXPECT_EQ((Names{L"COM1", L"COM8"}), Listed());
}

TEST_F(Discovery, OnlyNamesBeginningWithUpperCaseComAreTaken)
{
    StoreText(kDrivers + L"\\a", L"Name", L"com3:");
    StoreText(kDrivers + L"\\b", L"Name", L"LPT1:");
    StoreText(kDrivers + L"\\c", L"Name", L"CO");
    StoreText(kDrivers + L"\\d", L"Name", L"Com4:");
    StoreText(kDrivers + L"\\e", L"Name", L"");
    StoreText(kDrivers + L"\\f", L"Name", L"COM2:");
    StoreText(kBluetooth + L"\\a", L"Port", L" COM6");

    EXPECT_EQ((Names{L"COM2"}), Listed());
}

TEST_F(Discovery, EveryOccurrenceIsListedEvenTwiceOver)
{
    StoreText(kDrivers + L"\\gps", L"Name", L"COM5:");
    StoreText(kDrivers + L"\\gps2", L"Name", L"COM5:");
    StoreText(kBluetooth + L"\\0", L"Port", L"COM5");

    EXPECT_EQ((Names{L"COM5", L"COM5", L"COM5"}), Listed());
}

// Each root has its own value name; the other root's does not count.
TEST_F(Discovery, SubKeyWithoutTheValueIsSkipped)
{
    StoreValue(kDrivers + L"\\bare", NULL, 0, NULL, 0);
    StoreText(kDrivers + L"\\other", L"Port", L"COM6");
    StoreText(kDrivers + L"\\serial", L"Name", L"COM2:");
    StoreText(kBluetooth + L"\\0", L"Name", L"COM7:");
    StoreText(kBluetooth + L"\\1", L"Port", L"COM9");

    EXPECT_EQ((Names{L"COM2", L"COM9"}), Listed());
}

// The text ends at the end of the stored data even without a terminator;
// the colon is still found and removed, and a stray odd byte is no
// character of its own.
TEST_F(Discovery, UnterminatedValueEndsWithItsData)
{
    StoreValue(kDrivers + L"\\binary", L"Name", REG_BINARY, L"COM7:", 5 * sizeof(wchar_t));
    StoreValue(kDrivers + L"\\string", L"Name", REG_SZ, L"COM3", 4 * sizeof(wchar_t));
    StoreValue(kBluetooth + L"\\odd", L"Port", REG_BINARY, L"COM4X", 4 * sizeof(wchar_t) + 1);

    EXPECT_EQ((Names{L"COM3", L"COM4", L"COM7"}), Listed());
}

// The stored type is not looked at: whatever the bytes spell is taken.
TEST_F(Discovery, ValuesOfOtherTypesDoNoHarm)
{
    DWORD number = 3;
    StoreValue(kDrivers + L"\\dword", L"Name", REG_DWORD, &number, sizeof number);
    StoreValue(kDrivers + L"\\co", L"Name", REG_DWORD, L"CO", 2 * sizeof(wchar_t));
    StoreValue(kDrivers + L"\\empty", L"Name", REG_BINARY, "", 0);
    StoreValue(kDrivers + L"\\none", L"Name", REG_NONE, NULL, 0);
    const wchar_t multi[] = L"COM5\0COM6\0";
    StoreValue(kBluetooth + L"\\multi", L"Port", REG_MULTI_SZ, multi, sizeof multi);
    StoreValue(kBluetooth + L"\\expand", L"Port", REG_EXPAND_SZ, L"COM1:", 6 * sizeof(wchar_t));

    EXPECT_EQ((Names{L"COM1", L"COM5"}), Listed());
}

// "Drivers\Active\" takes 15 of the path's 254 characters, leaving 239 for
// the sub-key name; longer names are skipped, not cut short.
TEST_F(Discovery, SubKeyTooLongForThePathIsSkipped)
{
    StoreText(kDrivers + L"\\" + std::wstring(239, L'a'), L"Name", L"COM1:");
    StoreText(kDrivers + L"\\" + std::wstring(240, L'b'), L"Name", L"COM2:");
    StoreText(kDrivers + L"\\" + std::wstring(254, L'c'), L"Name", L"COM3:");
    StoreText(kDrivers + L"\\d", L"Name", L"COM4:");
    // 42 characters of root and backslash leave 212 here.
    StoreText(kBluetooth + L"\\" + std::wstring(212, L'e'), L"Port", L"COM5");
    StoreText(kBluetooth + L"\\" + std::wstring(213, L'f'), L"Port", L"COM6");

    EXPECT_EQ((Names{L"COM1", L"COM4", L"COM5"}), Listed());
}

TEST_F(Discovery, HundredsOfSubKeysAreAllRead)
{
    for (int i = 1; i <= 300; ++i) {
        StoreText(kDrivers + L"\\serial" + std::to_wstring(i), L"Name", L"COM" + std::to_wstring(i) + L":");
        StoreText(kBluetooth + L"\\device" + std::to_wstring(i), L"Port", L"LPT" + std::to_wstring(i));
    }
    Names items = Listed();
    ASSERT_EQ(300u, items.size());
    EXPECT_EQ(1, std::count(items.begin(), items.end(), L"COM1"));
    EXPECT_EQ(1, std::count(items.begin(), items.end(), L"COM300"));
}

TEST_F(Discovery, MissingOrEmptyRootsGiveAnEmptyList)
{
    EXPECT_TRUE(Listed().empty());

    StoreValue(kDrivers, NULL, 0, NULL, 0);
    StoreValue(kBluetooth, NULL, 0, NULL, 0);
    EXPECT_TRUE(Listed().empty());
}

}  // namespace
