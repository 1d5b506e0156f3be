// The main window with its real controls, built in this process from the
// program's own template and driven the way the user and the worker do.
// The port list is filled from a list each test chooses; the settings
// store and the Start/Stop controller behind the window are the real ones.
#include "bridge/bridge_state.h"
#include "bridge/controller.h"
#include "bridge/status_sink.h"
#include "discovery/port_discovery.h"
#include "platform/shell.h"
#include "settings/settings.h"
#include "support/registry.h"
#include "ui/main_window.h"
#include "ui/resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::wstring> portsFound;

}  // namespace

// What port discovery would have found on this handset.
void FillPortList(HWND list)
{
    for (const auto& port : portsFound) SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)port.c_str());
}

namespace {

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

// Handles this thread's messages (the worker's status calls among them)
// until `done` holds.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        PumpFor(10);
    }
    return true;
}

// What a message box showed, and to whom it belonged.
struct Box {
    bool shown = false;
    std::wstring caption;
    std::wstring text;
    HWND owner = NULL;
    int buttons = 0;
};

// Answers the first message box that the given thread shows with OK, from
// a thread of its own, so the test is not left waiting on it.
class BoxAnswerer {
public:
    explicit BoxAnswerer(DWORD thread) : thread_(thread), watcher_([this] { Watch(); }) {}
    ~BoxAnswerer() { Seen(); }
    Box Seen()
    {
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
        return box_;
    }

private:
    // Any dialog of the thread but the main window, whoever owns it.
    static BOOL CALLBACK FindBox(HWND window, LPARAM found)
    {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (window != g_bridge.mainWindow && IsWindowVisible(window) && wcscmp(className, L"#32770") == 0) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    static BOOL CALLBACK ReadChild(HWND child, LPARAM seen)
    {
        Box* box = reinterpret_cast<Box*>(seen);
        wchar_t className[16] = {};
        wchar_t text[64] = {};
        GetClassNameW(child, className, 16);
        GetWindowTextW(child, text, 64);
        if (_wcsicmp(className, L"Button") == 0) ++box->buttons;
        if (_wcsicmp(className, L"Static") == 0 && text[0]) box->text = text;
        return TRUE;
    }

    void Watch()
    {
        for (int waited = 0; waited < 10000 && !stop_; waited += 10) {
            HWND box = NULL;
            EnumThreadWindows(thread_, FindBox, reinterpret_cast<LPARAM>(&box));
            if (box != NULL) {
                wchar_t caption[64] = {};
                GetWindowTextW(box, caption, 64);
                box_.caption = caption;
                box_.owner = GetWindow(box, GW_OWNER);
                EnumChildWindows(box, ReadChild, reinterpret_cast<LPARAM>(&box_));
                box_.shown = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
    }

    DWORD thread_;
    std::atomic<bool> stop_{ false };
    Box box_;
    std::thread watcher_;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
        portsFound.clear();
        g_bridge.instance = GetModuleHandleW(NULL);
        g_bridge.mainWindow = NULL;
        g_bridge.menuBar = NULL;
        INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES };
        InitCommonControlsEx(&controls);
        // Most cases want one port found; the others open theirs in its place.
        Open({ L"COM1" });
    }

    void TearDown() override
    {
        if (window_ != NULL) {
            if (g_bridge.workerThread != INVALID_HANDLE_VALUE) {
                ToggleBridge();
                EXPECT_TRUE(PumpUntil(KeyGivenBack));
            }
            DestroyWindow(window_);
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
    }

    // The window as the program makes it, with `ports` discovered; replaces any open one.
    void Open(const std::vector<std::wstring>& ports)
    {
        if (window_ != NULL) DestroyWindow(window_);
        portsFound = ports;
        HRSRC found = FindResourceW(NULL, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
        ASSERT_NE(static_cast<HRSRC>(NULL), found);
        auto dialog = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(NULL, found)));
        window_ = CreateDialogIndirectParamW(g_bridge.instance, dialog, NULL, MainDialogProc, 0);
        ASSERT_NE(static_cast<HWND>(NULL), window_);
        PumpFor(50);
    }

    HWND Item(int id) const { return GetDlgItem(window_, id); }

    std::wstring Text(int id) const
    {
        wchar_t text[64] = {};
        GetDlgItemTextW(window_, id, text, 64);
        return text;
    }

    std::wstring Selected() const
    {
        LRESULT index = SendMessageW(Item(IDC_PORT_LIST), LB_GETCURSEL, 0, 0);
        if (index == LB_ERR) return L"(none)";
        wchar_t text[64] = {};
        SendMessageW(Item(IDC_PORT_LIST), LB_GETTEXT, index, (LPARAM)text);
        return text;
    }

    void Select(const std::wstring& entry)
    {
        LRESULT index = SendMessageW(Item(IDC_PORT_LIST), LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str());
        ASSERT_NE(LB_ERR, index);
        SendMessageW(Item(IDC_PORT_LIST), LB_SETCURSEL, index, 0);
    }

    static TBBUTTONINFOW Key(wchar_t* text = NULL, int chars = 0)
    {
        TBBUTTONINFOW key = {};
        key.cbSize = sizeof key;
        key.dwMask = TBIF_STATE | (text ? TBIF_TEXT : 0);
        key.pszText = text;
        key.cchText = chars;
        SendMessageW(g_bridge.menuBar, TB_GETBUTTONINFOW, IDM_TOGGLE, (LPARAM)&key);
        return key;
    }
    static std::wstring KeyLabel()
    {
        wchar_t text[32] = {};
        Key(text, 32);
        return text;
    }
    static BYTE KeyState() { return Key().fsState; }
    // The bridge at rest, as the soft key shows it.
    static bool KeyGivenBack() { return KeyLabel() == L"Start" && KeyState() == TBSTATE_ENABLED; }

    // A click on the soft key, as the mouse gives it.
    void PressKey()
    {
        RECT button = {};
        LRESULT index = SendMessageW(g_bridge.menuBar, TB_COMMANDTOINDEX, IDM_TOGGLE, 0);
        SendMessageW(g_bridge.menuBar, TB_GETITEMRECT, index, (LPARAM)&button);
        LPARAM at = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
        SendMessageW(g_bridge.menuBar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(g_bridge.menuBar, WM_LBUTTONUP, 0, at);
        PumpFor(20);
    }

    // A click on one arrow of the spinner: the right one steps forward.
    void Spin(bool forward)
    {
        HWND spinner = Item(IDC_PORT_SPIN);
        RECT area;
        GetClientRect(spinner, &area);
        int x = forward ? area.right * 3 / 4 : area.right / 4;
        LPARAM at = MAKELPARAM(x, area.bottom / 2);
        SendMessageW(spinner, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(spinner, WM_LBUTTONUP, 0, at);
        PumpFor(20);
    }

    HWND window_ = NULL;
};

TEST_F(MainWindow, FillsTheHandsetScreenWithTheSoftKeyBarAlongTheBottom)
{
    RECT client;
    GetClientRect(window_, &client);
    EXPECT_EQ(176, client.right);
    EXPECT_EQ(220, client.bottom);
    EXPECT_EQ(window_, g_bridge.mainWindow);

    ASSERT_NE(static_cast<HWND>(NULL), g_bridge.menuBar);
    EXPECT_EQ(window_, GetParent(g_bridge.menuBar));
    RECT bar;
    GetWindowRect(g_bridge.menuBar, &bar);
    MapWindowPoints(NULL, window_, reinterpret_cast<POINT*>(&bar), 2);
    EXPECT_EQ(client.bottom, bar.bottom);
    EXPECT_GT(bar.bottom - bar.top, 10);
    EXPECT_EQ(1, SendMessageW(g_bridge.menuBar, TB_BUTTONCOUNT, 0, 0));
    EXPECT_EQ(L"Start", KeyLabel());
    EXPECT_EQ(TBSTATE_ENABLED, KeyState());

    EXPECT_EQ(Item(IDC_PORT_LIST), GetFocus()) << "the focus request was posted to the list";
}

TEST_F(MainWindow, PreselectsTheRememberedPortByCaseBlindPrefix)
{
    struct Case {
        std::vector<std::wstring> ports;
        const wchar_t* saved;  // NULL: nothing saved, "COM2" by default
        const wchar_t* selected;
    };
    const Case cases[] = {
        { { L"COM3", L"COM1", L"COM2" }, L"COM2", L"COM2" },
        { { L"COM3", L"COM1", L"COM2" }, NULL, L"COM2" },
        { { L"COM1", L"COM2", L"COM3" }, L"COM9", L"COM1" },
        { { L"COM1", L"COM20" }, L"COM2", L"COM20" },
        { { L"COM1", L"COM3" }, L"com3", L"COM3" },
        { { L"COM8", L"COM1" }, L"", L"COM1" },
        { {}, L"COM2", L"(none)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saved ? std::string(c.saved, c.saved + wcslen(c.saved)) : "nothing saved");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
        if (c.saved) StoreText(kSettingsKey, L"SerialPort", c.saved);
        Open(c.ports);
        EXPECT_EQ(c.selected, Selected());
    }
}

TEST_F(MainWindow, WithAnEmptyListAskingForThePortShowsTheBoxAndLeavesTheNameEmpty)
{
    Open({});
    wchar_t name[kPortNameChars] = {};
    Box box;
    {
        BoxAnswerer answerer(GetCurrentThreadId());
        GetSelectedPort(name);
        box = answerer.Seen();
    }
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(L"Error", box.caption);
    EXPECT_EQ(L"No port selected!", box.text);
    EXPECT_EQ(window_, box.owner);
    EXPECT_EQ(1, box.buttons) << "OK only";
    EXPECT_EQ(L"", std::wstring(name));
}

TEST_F(MainWindow, SelectedPortIsCopiedWholeOrRefusedWhenTooLongForAPortName)
{
    const std::wstring fifteen = L"COM123456789012";
    const std::wstring sixteen = L"COM1234567890123";
    Open({ L"COM1", fifteen, sixteen });
    struct {
        wchar_t name[kPortNameChars];
        wchar_t guard[8];
    } buffer;

    auto ask = [&](const std::wstring& entry) {
        Select(entry);
        memset(&buffer, 0, sizeof buffer);
        wmemset(buffer.guard, L'#', 8);
        GetSelectedPort(buffer.name);
        EXPECT_EQ(std::wstring(8, L'#'), std::wstring(buffer.guard, 8)) << "written past the name";
        return std::wstring(buffer.name);
    };
    EXPECT_EQ(L"COM1", ask(L"COM1"));
    EXPECT_EQ(fifteen, ask(fifteen));
    EXPECT_EQ(L"", ask(sixteen));
}

TEST_F(MainWindow, PortFieldShowsTheRememberedPortAndReadsBackUnsigned)
{
    EXPECT_EQ(L"20175", Text(IDC_TCP_PORT)) << "nothing saved";
    EXPECT_EQ(20175u, GetTcpPortField());

    // Ports from 32768 up are stored widened with their sign.
    StoreDword(kSettingsKey, L"TcpPort", 0xFFFF8000);
    Open({ L"COM1" });
    EXPECT_EQ(L"32768", Text(IDC_TCP_PORT));
    EXPECT_EQ(32768u, GetTcpPortField());

    for (const wchar_t* noNumber : { L"", L"port", L"-" }) {
        SetDlgItemTextW(window_, IDC_TCP_PORT, noNumber);
        EXPECT_EQ(0u, GetTcpPortField()) << std::string(noNumber, noNumber + wcslen(noNumber));
    }
    // Beyond 16 bits the caller takes the low ones; beyond 31, only an
    // unsigned reading still sees a number.
    SetDlgItemTextW(window_, IDC_TCP_PORT, L"70000");
    EXPECT_EQ(70000u, GetTcpPortField());
    SetDlgItemTextW(window_, IDC_TCP_PORT, L"4294934528");
    EXPECT_EQ(0xFFFF8000u, GetTcpPortField());
}

TEST_F(MainWindow, StatusLinesAndKeyShowWhatTheBridgeSays)
{
    SetInputStatus(L"Reading...");
    SetOutputStatus(L"Transmitting...");
    EXPECT_EQ(L"Reading...", Text(IDC_INPUT_STATUS));
    EXPECT_EQ(L"Transmitting...", Text(IDC_OUTPUT_STATUS));
    SetInputStatus(L"");
    EXPECT_EQ(L"", Text(IDC_INPUT_STATUS));
    EXPECT_EQ(L"Transmitting...", Text(IDC_OUTPUT_STATUS));

    SetKeyLabel(L"Stop");
    EXPECT_EQ(L"Stop", KeyLabel());
    SetKeyEnabled(false);
    EXPECT_EQ(TBSTATE_INDETERMINATE, KeyState());
    EXPECT_EQ(L"Stop", KeyLabel()) << "the state leaves the label alone";
    SetKeyEnabled(true);
    EXPECT_EQ(TBSTATE_ENABLED, KeyState());
    SetKeyLabel(L"Start");
    EXPECT_EQ(L"Start", KeyLabel());
    EXPECT_EQ(TBSTATE_ENABLED, KeyState()) << "the label leaves the state alone";
}

TEST_F(MainWindow, SoftKeyStartsAndStopsTheBridgeAndIssuesNothingWhileGreyed)
{
    ASSERT_EQ(L"COM1", Selected()) << "else Start would stop at the message box";
    SetDlgItemTextW(window_, IDC_TCP_PORT, L"0");  // a port of the system's choosing

    SetKeyEnabled(false);
    PressKey();
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_bridge.workerThread) << "a greyed key issued its command";
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE, 0), 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_bridge.workerThread) << "a command that came all the same was carried out";
    EXPECT_EQ(L"", Text(IDC_OUTPUT_STATUS));
    SetKeyEnabled(true);

    PressKey();
    ASSERT_TRUE(PumpUntil([] { return KeyLabel() == L"Stop"; }));
    EXPECT_NE(INVALID_HANDLE_VALUE, g_bridge.workerThread);
    EXPECT_EQ(L"Listening...", Text(IDC_OUTPUT_STATUS));
    EXPECT_EQ(TBSTATE_ENABLED, KeyState());

    PressKey();
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_bridge.workerThread);
    ASSERT_TRUE(PumpUntil(KeyGivenBack));
    EXPECT_EQ(L"", Text(IDC_OUTPUT_STATUS));
}

// A bar that leaves the state query unanswered, as a handset's might.
WNDPROC barProc = NULL;
LRESULT CALLBACK SilentBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TB_GETBUTTONINFOW) return 0;
    return CallWindowProcW(barProc, bar, message, wParam, lParam);
}

TEST_F(MainWindow, KeyWhoseStateGoesUnansweredStillStartsTheBridge)
{
    SetDlgItemTextW(window_, IDC_TCP_PORT, L"0");
    barProc = (WNDPROC)SetWindowLongPtrW(g_bridge.menuBar, GWLP_WNDPROC, (LONG_PTR)SilentBar);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE, 0), 0);
    SetWindowLongPtrW(g_bridge.menuBar, GWLP_WNDPROC, (LONG_PTR)barProc);
    EXPECT_NE(INVALID_HANDLE_VALUE, g_bridge.workerThread) << "the key went dead";
}

TEST_F(MainWindow, CommandOneOnlyMinimises)
{
    ASSERT_EQ(L"COM1", Selected());
    SetDlgItemTextW(window_, IDC_TCP_PORT, L"0");
    PressKey();
    ASSERT_TRUE(PumpUntil([] { return KeyLabel() == L"Stop"; }));

    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    PumpFor(50);
    EXPECT_TRUE(IsIconic(window_));
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(1, g_bridge.running);
    EXPECT_EQ(L"Listening...", Text(IDC_OUTPUT_STATUS));
}

TEST_F(MainWindow, BackDeletesOneDigitInThePortFieldAndElsewhereOnlyMinimises)
{
    auto back = [this] {
        SendMessageW(window_, WM_HOTKEY, 0, MAKELPARAM(0, VK_TBACK));
        SendMessageW(window_, WM_HOTKEY, 0, MAKELPARAM(MOD_KEYUP, VK_TBACK));
    };
    SetDlgItemTextW(window_, IDC_TCP_PORT, L"20175");
    SetFocus(Item(IDC_TCP_PORT));
    SendMessageW(Item(IDC_TCP_PORT), EM_SETSEL, 5, 5);
    back();
    EXPECT_EQ(L"2017", Text(IDC_TCP_PORT)) << "the press deletes one digit, the release none";
    EXPECT_FALSE(IsIconic(window_));

    SetFocus(Item(IDC_PORT_LIST));
    back();
    EXPECT_TRUE(IsIconic(window_));
    EXPECT_EQ(L"2017", Text(IDC_TCP_PORT));
}

TEST_F(MainWindow, SpinnerStepsThroughTheSortedNamesAndWrapsAtBothEnds)
{
    Open({ L"COM3", L"COM1", L"COM2" });
    ASSERT_EQ(L"COM2", Selected());
    Spin(true);
    EXPECT_EQ(L"COM3", Selected());
    Spin(true);
    EXPECT_EQ(L"COM1", Selected()) << "wraps past the last";
    Spin(false);
    EXPECT_EQ(L"COM3", Selected()) << "wraps before the first";
    Spin(false);
    EXPECT_EQ(L"COM2", Selected());
}

// Whatever the user types into the port field, Start binds the low 16 bits
// of what the field reads as an unsigned number, and 0 (a port of the
// system's choosing) when it holds no number; nothing the user types can
// crash the program.
struct PortFieldCase {
    const char* proves;
    const wchar_t* typed;
    long bound;   // -1: a port of the system's choosing
};

const PortFieldCase kPortFieldCases[] = {
    { "an empty field binds a port of the system's choosing", L"", -1 },
    { "letters are no number", L"port", -1 },
    { "zero asks the system for a port", L"0", -1 },
    { "the largest port binds as itself", L"65535", 65535 },
    { "one above the largest wraps to zero", L"65536", -1 },
    { "the largest unsigned number keeps its low 16 bits", L"4294967295", 65535 },
    { "a number beyond 32 bits is no number", L"99999999999", -1 },
    { "spaces around a number are ignored", L"  4242  ", 4242 },
    { "a minus sign is no unsigned number", L"-4242", -1 },
    { "digits followed by letters are no number", L"4242x", -1 },
};

void PrintTo(const PortFieldCase& c, std::ostream* out) { *out << '"' << c.proves << '"'; }

class PortField : public MainWindow, public ::testing::WithParamInterface<PortFieldCase> {};

TEST_P(PortField, StartBindsTheLowSixteenBitsOfWhatTheFieldReads)
{
    const PortFieldCase& c = GetParam();
    SetDlgItemTextW(window_, IDC_TCP_PORT, c.typed);
    PressKey();
    ASSERT_TRUE(PumpUntil([] { return KeyLabel() == L"Stop"; })) << Text(IDC_OUTPUT_STATUS).c_str();
    sockaddr_in bound = {};
    int length = sizeof bound;
    ASSERT_EQ(0, getsockname(g_bridge.listenSocket, reinterpret_cast<sockaddr*>(&bound), &length));
    EXPECT_EQ(htonl(INADDR_LOOPBACK), bound.sin_addr.s_addr);
    if (c.bound < 0) {
        EXPECT_NE(0, ntohs(bound.sin_port));
    } else {
        EXPECT_EQ(c.bound, ntohs(bound.sin_port));
    }
}

INSTANTIATE_TEST_SUITE_P(BadInput, PortField, ::testing::ValuesIn(kPortFieldCases),
                         [](const ::testing::TestParamInfo<PortFieldCase>& info) {
                             std::string name;
                             for (const char* p = info.param.proves; *p; ++p) {
                                 if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                                 else if (*p == ' ') name += '_';
                             }
                             return name;
                         });

}  // namespace
