// The program as a process of its own: its window comes up, closing it
// ends the program with 0, and a second start only brings the first back.
#include "support/loopback.h"
#include "support/pty_port.h"
#include "support/registry.h"
// After the sockets header, which must come before the system's own.
#include "settings/settings.h"
#include "ui/resources/resource.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

namespace {

PROCESS_INFORMATION StartProgram()
{
    std::wstring command = L"\"" + UnixToWindowsPath(VELMORA_PROGRAM) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        << GetLastError();
    return process;
}

// Waits up to 10 s for the process to end while this thread goes on
// handling its own windows' messages, then lets it go, ending it if it still
// runs. Returns its exit code, or -1 if it was still running.
long ExitCode(const PROCESS_INFORMATION& process)
{
    long code = -1;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        DWORD woke = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 50, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            DWORD exited = 0;
            GetExitCodeProcess(process.hProcess, &exited);
            code = static_cast<long>(exited);
            break;
        }
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

HWND WindowOf(DWORD processId, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        HWND window = FindWindowW(NULL, L"Velmora");
        DWORD owner = 0;
        if (window != NULL) GetWindowThreadProcessId(window, &owner);
        // Found as soon as it exists; wanted once the dialog shows it.
        if (owner == processId && IsWindowVisible(window)) return window;
        Sleep(20);
    }
    return NULL;
}

std::wstring Line(HWND window, int id)
{
    wchar_t text[256] = {};
    GetDlgItemTextW(window, id, text, 256);
    return text;
}

TEST(Program, ShowsItsWindowAndEndsWithZeroWhenItIsClosed)
{
    PROCESS_INFORMATION process = StartProgram();
    HWND window = WindowOf(process.dwProcessId, 20000);
    ASSERT_NE(static_cast<HWND>(NULL), window);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(176, client.right);
    EXPECT_EQ(220, client.bottom);
    EXPECT_NE(static_cast<HWND>(NULL), FindWindowExW(window, NULL, TOOLBARCLASSNAMEW, NULL)) << "soft-key bar";
    EXPECT_NE(L"", Line(window, IDC_TCP_PORT));

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode(process));
}

TEST(Program, SecondStartBringsTheFirstBackAndEndsAtOnce)
{
    // Stands in for a first instance that the user minimised.
    HWND first = CreateWindowExW(0, L"STATIC", L"Velmora", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                                 NULL, NULL, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(static_cast<HWND>(NULL), first);
    ShowWindow(first, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(first));

    EXPECT_EQ(0, ExitCode(StartProgram()));
    EXPECT_FALSE(IsIconic(first));
    EXPECT_EQ(first, GetForegroundWindow());
    DestroyWindow(first);
}

bool WaitForLine(HWND window, int id, const std::wstring& wanted, DWORD timeoutMs = 10000)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (Line(window, id) == wanted) return true;
        Sleep(20);
    }
    return false;
}

int CountWindowsTitledVelmora()
{
    int count = 0;
    for (HWND w = FindWindowW(NULL, L"Velmora"); w != NULL; w = FindWindowExW(NULL, w, NULL, L"Velmora")) ++count;
    return count;
}

// The handset's registry as the program finds it: one driver on the test's
// COM port, and that port and a free TCP port remembered.
void PrepareRegistry(const std::wstring& com, unsigned short tcpPort)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers\\Active");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Bluetooth\\Serial\\Ports");
    StoreText(L"Drivers\\Active\\12", L"Name", com + L":");
    StoreText(kSettingsKey, L"SerialPort", com);
    StoreDword(kSettingsKey, L"TcpPort", tcpPort);
}

TEST(Program, StreamsTheDeviceFromItsOwnStartCommandUntilStopAndCloses)
{
    StartSockets();
    PtyPort device;
    ASSERT_TRUE(device.Ready());
    const unsigned short tcpPort = FreeLoopbackPort();
    PrepareRegistry(device.Name(), tcpPort);

    PROCESS_INFORMATION process = StartProgram();
    HWND window = WindowOf(process.dwProcessId, 20000);
    ASSERT_NE(static_cast<HWND>(NULL), window);

    // A second start leaves the one window there is and ends at once.
    EXPECT_EQ(0, ExitCode(StartProgram()));
    EXPECT_EQ(1, CountWindowsTitledVelmora());

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE, 0), 0);
    ASSERT_TRUE(WaitForLine(window, IDC_OUTPUT_STATUS, L"Listening..."));
    device.KeepSending();
    SOCKET client = ConnectLoopback(tcpPort);
    ASSERT_NE(INVALID_SOCKET, client);
    EXPECT_GT(ReceiveFor(client, 500), 0);
    EXPECT_EQ(L"Reading...", Line(window, IDC_INPUT_STATUS));
    EXPECT_EQ(L"Transmitting...", Line(window, IDC_OUTPUT_STATUS));

    // Out of sight, still serving.
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_GT(ReceiveFor(client, 500), 0);

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE, 0), 0);
    EXPECT_TRUE(WaitForLine(window, IDC_OUTPUT_STATUS, L""));
    EXPECT_TRUE(WaitForLine(window, IDC_INPUT_STATUS, L""));
    // What was already under way may still arrive; then the stream ends.
    EXPECT_TRUE(ReadToEnd(client, 4000, 4000)) << "the client is let go once the worker ends";
    closesocket(client);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode(process));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers\\Active");
}

}  // namespace
