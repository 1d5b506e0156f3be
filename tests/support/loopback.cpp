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

sockaddr_in LoopbackAddress(unsigned short port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

unsigned short FreeLoopbackPort()
{
    SOCKET s = ListenLoopback();
    unsigned short port = BoundPort(s);
    closesocket(s);
    return port;
}

SOCKET ListenLoopback(bool exclusive)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL on = TRUE;
    if (exclusive) setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address = LoopbackAddress(0);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 1) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

SOCKET ConnectLoopback(unsigned short port, int receiveBuffer)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (receiveBuffer > 0) {
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                   sizeof receiveBuffer);
    }
    sockaddr_in address = LoopbackAddress(port);
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

bool WaitReady(SOCKET s, int timeoutMs, bool writing)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    timeval limit = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, writing ? NULL : &ready, writing ? &ready : NULL, NULL, &limit) == 1;
}

size_t ReceiveExactly(SOCKET s, void* data, size_t size, int timeoutMs)
{
    SetReceiveTimeout(s, timeoutMs);
    char* next = static_cast<char*>(data);
    size_t got = 0;
    while (got < size) {
        int n = recv(s, next + got, static_cast<int>(size - got > 65536 ? 65536 : size - got), 0);
        // A non-blocking socket does not wait for data; select does.
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK && WaitReady(s, timeoutMs)) continue;
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

// Waits in select, not in a receive time-out, so the socket is left as it
// was and may even be non-blocking.
bool ReadToEnd(SOCKET s, int silenceMs, int limitMs, std::vector<unsigned char>* kept, size_t keep)
{
    const DWORD start = GetTickCount();
    char piece[4096];
    for (;;) {
        int wait = silenceMs;
        if (limitMs > 0) {
            const int left = limitMs - static_cast<int>(GetTickCount() - start);
            if (left <= 0) return false;
            if (left < wait) wait = left;
        }
        if (!WaitReady(s, wait)) return false;
        const int n = recv(s, piece, sizeof piece, 0);
        if (n == 0) return true;
        if (n < 0) return false;
        if (kept && kept->size() < keep) kept->insert(kept->end(), piece, piece + n);
    }
}
