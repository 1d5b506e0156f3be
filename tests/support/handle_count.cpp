#include "support/handle_count.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

// Handle values run from 4 in steps of 4, and the system gives out the
// lowest free one (GetProcessHandleCount is a stub under Wine), so past a
// long run of unused values there are no more.
long CountProcessHandles()
{
    long count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4, unused = 0; unused < 256; value += 4) {
        bool used = GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags);
        count += used;
        unused = used ? 0 : unused + 1;
    }
    return count;
}

long CountProcessThreads()
{
    typedef LONG(NTAPI * NextThread)(HANDLE, HANDLE, ACCESS_MASK, ULONG, ULONG, HANDLE*);
    auto next = reinterpret_cast<NextThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtGetNextThread")));
    if (!next) return -1;
    long count = 0;
    HANDLE thread = NULL, following = NULL;
    while (next(GetCurrentProcess(), thread, THREAD_QUERY_LIMITED_INFORMATION, 0, 0, &following) == 0) {
        if (thread) CloseHandle(thread);
        thread = following;
        DWORD code = 0;
        count += GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
    }
    if (thread) CloseHandle(thread);
    return count;
}

long MostOf(long (*count)())
{
    long most = 0;
    for (int i = 0; i < 5; ++i, Sleep(20)) most = std::max(most, count());
    return most;
}

long SettledTo(long (*count)(), long baseline)
{
    long now = count();
    for (int i = 0; i < 150 && now > baseline; ++i, Sleep(20)) now = count();
    return now;
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        const DWORD error = GetLastError();
        ADD_FAILURE() << "GetProcessTimes failed: " << error << ", so no processor time is measured";
        return std::nan("");
    }
    auto seconds = [](const FILETIME& t) { return ((ULONGLONG)t.dwHighDateTime << 32 | t.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}
