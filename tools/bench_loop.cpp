// The floor of the bridge's design in this runtime: a bare loop of 512-byte
// serial reads, each sent whole to one loopback client, with none of the
// program's bookkeeping. "sync" reads the port with plain blocking reads (as
// the handset does); "overlapped" reads it the way the desktop build must
// so that Stop can wake it.
//
// Usage: bench_loop sync|overlapped COMn tcp-port
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_loop sync|overlapped COMn tcp-port\n");
        return 2;
    }
    const bool overlapped = !wcscmp(argv[1], L"overlapped");
    wchar_t device[32];
    _snwprintf(device, 31, L"\\\\.\\%ls", argv[2]);
    device[31] = 0;

    WSADATA data;
    WSAStartup(0x0101, &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL one = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(_wtoi(argv[3])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) || listen(listener, 5)) {
        std::fprintf(stderr, "listen failed: %d\n", WSAGetLastError());
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    SOCKET client = accept(listener, NULL, NULL);

    HANDLE port = CreateFileW(device, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                              overlapped ? FILE_FLAG_OVERLAPPED : 0, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "open failed: %lu\n", GetLastError());
        return 1;
    }
    HANDLE done = CreateEventW(NULL, TRUE, FALSE, NULL);
    char buffer[512];
    for (;;) {
        DWORD got = 0;
        if (overlapped) {
            OVERLAPPED pending = {};
            pending.hEvent = done;
            ResetEvent(done);
            if (!ReadFile(port, buffer, sizeof buffer, &got, &pending)) {
                if (GetLastError() != ERROR_IO_PENDING) break;
                WaitForSingleObject(done, INFINITE);
                if (!GetOverlappedResult(port, &pending, &got, FALSE)) break;
            }
        } else if (!ReadFile(port, buffer, sizeof buffer, &got, NULL)) {
            break;
        }
        const char* next = buffer;
        int left = static_cast<int>(got);
        while (left > 0) {
            int sent = send(client, next, left, 0);
            if (sent == SOCKET_ERROR) goto finished;
            next += sent;
            left -= sent;
        }
    }
finished:
    CloseHandle(port);
    closesocket(client);
    closesocket(listener);
    return 0;
}
