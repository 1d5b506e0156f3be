#include "bridge/listener.h"

#include "bridge/bridge_state.h"
#include "bridge/status_sink.h"
#include "bridge/status_text.h"

#include <string.h>

static void SetFlag(SOCKET s, int option)
{
    int one = 1;
    setsockopt(s, SOL_SOCKET, option, (const char*)&one, sizeof one);
}

SOCKET OpenListener(short port)
{
    wchar_t status[kStatusChars];
    memset(status, 0, sizeof status);
    SOCKET result = INVALID_SOCKET;

    // Started on every call; the library counts its start-ups and is shut
    // down once, when the window closes.
    WSADATA library;
    int started = WSAStartup(0x0101, &library);
    if (started != 0) {
        // A failed start-up hands its error back rather than leaving it
        // for WSAGetLastError, which needs a started library.
        FormatStatus(status, kStatusChars, L"Init failed: %d", started);
    } else {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            FormatStatus(status, kStatusChars, L"Socket failed: %d", WSAGetLastError());
        } else {
            SetFlag(s, SO_REUSEADDR);

            sockaddr_in address;
            memset(&address, 0, sizeof address);
            address.sin_family = AF_INET;
            address.sin_port = htons((u_short)port);
            // Loopback only: the serial data must not reach other hosts.
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (bind(s, (const sockaddr*)&address, sizeof address) == SOCKET_ERROR) {
                int error = WSAGetLastError();
                closesocket(s);
                FormatStatus(status, kStatusChars, L"Bind failed: %d", error);
            } else {
                SetFlag(s, SO_DONTROUTE);
#ifdef SO_USELOOPBACK
                SetFlag(s, SO_USELOOPBACK);
#endif
                if (listen(s, 5) == SOCKET_ERROR) {
                    int error = WSAGetLastError();
                    closesocket(s);
                    FormatStatus(status, kStatusChars, L"Listen failed: %d", error);
                } else {
                    result = s;
                    wcscpy(status, L"Listening...");
                }
            }
        }
    }

    SetOutputStatus(status);
    return result;
}
