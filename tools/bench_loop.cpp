// The floor of the bridge's design in this runtime: a bare loop of 512-byte
// serial reads, each sent whole to one loopback client, with none of the
// program's bookkeeping. "sync" reads the port with plain blocking reads and
// the port's own time-outs; "bounded" sets the program's time-outs, which
// bound every read so that Stop can reach the reader. On the handset the
// Windows CE reference has such a read return at the first bytes; Wine
// returns it once the buffer is full or the 200 ms are over, so under Wine
// this loop delivers a slow device's data in lumps, as the program does.
//
// Usage: bench_loop sync|bounded COMn tcp-port
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_loop sync|bounded COMn tcp-port\n");
        return 2;
    }
    const bool bounded = !wcscmp(argv[1], L"bounded");
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

    HANDLE port = CreateFileW(device, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "open failed: %lu\n", GetLastError());
        return 1;
    }
    if (bounded) {
        COMMTIMEOUTS timeouts = { MAXDWORD, MAXDWORD, 200, 0, 0 };
        SetCommTimeouts(port, &timeouts);
    }
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(port, buffer, sizeof buffer, &got, NULL)) {
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
