// Drives a running Velmora window from outside, the way its own soft key
// does, closes it, and reads its status lines back. Used by
// scripts/run.sh to show the program working, and by tools/benchmark.py
// to start it and to time Stop.
//
// Usage: velmora_press wait|toggle|close|status|port [timeout-ms]
//        velmora_press press Start|Stop [timeout-ms]
//        velmora_press output TEXT [timeout-ms]
// "press" presses the key and waits until it reads the given label and is
// enabled again, then prints the milliseconds that took. "output" waits
// until the output status line reads TEXT; the polling stays in this one
// process, so a caller need not start a Wine process per look. "port"
// prints the TCP port that Start would listen on, read from the window's
// own field the way Start reads it.
#include "ui/resources/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

static HWND FindVelmora(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowW(NULL, L"Velmora");
        if (window || GetTickCount() - start >= timeoutMs) return window;
        Sleep(50);
    }
}

// The soft key, read from this process: its text has to be fetched into
// memory of the program's own.
static bool KeyReads(HWND bar, HANDLE process, wchar_t* remote, const wchar_t* label)
{
    if (!(SendMessageW(bar, TB_GETSTATE, IDM_TOGGLE, 0) & TBSTATE_ENABLED)) return false;
    wchar_t text[64] = {};
    LRESULT length = SendMessageW(bar, TB_GETBUTTONTEXTW, IDM_TOGGLE, (LPARAM)remote);
    if (length <= 0 || length >= 64) return false;
    ReadProcessMemory(process, remote, text, (length + 1) * sizeof(wchar_t), NULL);
    return !wcscmp(text, label);
}

static int PressAndWait(HWND window, const wchar_t* label, DWORD timeoutMs)
{
    HWND bar = FindWindowExW(window, NULL, TOOLBARCLASSNAMEW, NULL);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    void* remote = process ? VirtualAllocEx(process, NULL, 4096, MEM_COMMIT, PAGE_READWRITE) : NULL;
    if (!bar || !remote) {
        std::fprintf(stderr, "cannot read the soft key\n");
        return 1;
    }
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE, 0), 0);
    int result = 1;
    for (;;) {
        bool done = KeyReads(bar, process, static_cast<wchar_t*>(remote), label);
        QueryPerformanceCounter(&now);
        double ms = (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
        if (done) {
            std::printf("%.2f\n", ms);
            result = 0;
            break;
        }
        if (ms > timeoutMs) {
            std::fprintf(stderr, "the key did not read %ls, enabled, within %lu ms\n", label, timeoutMs);
            break;
        }
        Sleep(1);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return result;
}

static int WaitForOutput(HWND window, const wchar_t* text, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        wchar_t output[256] = {};
        GetDlgItemTextW(window, IDC_OUTPUT_STATUS, output, 256);
        if (!wcscmp(output, text)) return 0;
        if (GetTickCount() - start >= timeoutMs) {
            std::fprintf(stderr, "the output line did not read %ls within %lu ms\n", text, timeoutMs);
            return 1;
        }
        Sleep(10);
    }
}

int wmain(int argc, wchar_t** argv)
{
    static const char usage[] = "usage: velmora_press wait|toggle|close|status|port [timeout-ms]\n"
                                "       velmora_press press Start|Stop [timeout-ms]\n"
                                "       velmora_press output TEXT [timeout-ms]\n";
    if (argc < 2) {
        std::fprintf(stderr, "%s", usage);
        return 2;
    }
    if (!wcscmp(argv[1], L"press") || !wcscmp(argv[1], L"output")) {
        HWND window = argc > 2 ? FindVelmora(0) : NULL;
        if (!window) {
            std::fprintf(stderr, "%swith Velmora running\n", usage);
            return 2;
        }
        DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000;
        return !wcscmp(argv[1], L"press") ? PressAndWait(window, argv[2], timeout)
                                          : WaitForOutput(window, argv[2], timeout);
    }
    DWORD timeout = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 0;
    HWND window = FindVelmora(timeout);
    if (!window) {
        std::fprintf(stderr, "no window titled Velmora\n");
        return 1;
    }
    const wchar_t* what = argv[1];
    if (!wcscmp(what, L"toggle")) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE, 0), 0);
    } else if (!wcscmp(what, L"close")) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (!wcscmp(what, L"status")) {
        wchar_t input[256] = {}, output[256] = {};
        GetDlgItemTextW(window, IDC_INPUT_STATUS, input, 256);
        GetDlgItemTextW(window, IDC_OUTPUT_STATUS, output, 256);
        std::printf("input: %ls\noutput: %ls\niconic: %d\n", input, output, IsIconic(window) ? 1 : 0);
    } else if (!wcscmp(what, L"port")) {
        // Unsigned and cut to its low 16 bits, as Start takes it.
        std::printf("%u\n", GetDlgItemInt(window, IDC_TCP_PORT, NULL, FALSE) & 0xFFFFu);
    } else if (wcscmp(what, L"wait")) {
        std::fprintf(stderr, "unknown command\n");
        return 2;
    }
    return 0;
}
