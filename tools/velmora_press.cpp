// Drives a running Velmora window from outside, the way its own controls
// do: the soft key's command, the minimise command, closing; and reads its
// status lines back. Used by the run script and the program tests.
//
// Usage: velmora_press wait|toggle|minimise|close|status [timeout-ms]
#include <windows.h>

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

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora_press wait|toggle|minimise|close|status [timeout-ms]\n");
        return 2;
    }
    DWORD timeout = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 0;
    HWND window = FindVelmora(timeout);
    if (!window) {
        std::fprintf(stderr, "no window titled Velmora\n");
        return 1;
    }
    const wchar_t* what = argv[1];
    if (!wcscmp(what, L"toggle")) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(106, 0), 0);
    } else if (!wcscmp(what, L"minimise")) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    } else if (!wcscmp(what, L"close")) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (!wcscmp(what, L"status")) {
        wchar_t input[256] = {}, output[256] = {};
        GetDlgItemTextW(window, 1003, input, 256);
        GetDlgItemTextW(window, 1004, output, 256);
        std::printf("input: %ls\noutput: %ls\niconic: %d\n", input, output, IsIconic(window) ? 1 : 0);
    } else if (wcscmp(what, L"wait")) {
        std::fprintf(stderr, "unknown command\n");
        return 2;
    }
    return 0;
}
