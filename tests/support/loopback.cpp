#include "support/loopback.h"

#include <ws2tcpip.h>

void StartSockets()
{
    WSADATA data;
    WSAStartup(0x0101, &data);
}

unsigned short BoundPort(SOCKET s)
{
    sockaddr_in address = {};
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

unsigned short FreeLoopbackPort()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    unsigned short port = BoundPort(s);
    closesocket(s);
    return port;
}

SOCKET ConnectLoopback(unsigned short port, int receiveBuffer)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (receiveBuffer > 0) {
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                   sizeof receiveBuffer);
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

static void SetReceiveTimeout(SOCKET s, int ms)
{
    DWORD timeout = static_cast<DWORD>(ms);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
}

size_t ReceiveExactly(SOCKET s, void* data, size_t size, int timeoutMs)
{
    SetReceiveTimeout(s, timeoutMs);
    char* next = static_cast<char*>(data);
    size_t got = 0;
    while (got < size) {
        int n = recv(s, next + got, static_cast<int>(size - got > 65536 ? 65536 : size - got), 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

long ReceiveFor(SOCKET s, int waitMs)
{
    DWORD start = GetTickCount();
    long total = 0;
    char scratch[4096];
    for (;;) {
        int left = waitMs - static_cast<int>(GetTickCount() - start);
        if (left <= 0) return total;
        SetReceiveTimeout(s, left);
        int n = recv(s, scratch, sizeof scratch, 0);
        if (n == 0) return total > 0 ? total : -1;
        if (n < 0) return total;
        total += n;
    }
}
