#include "bridge/worker.h"

#include "bridge/bridge_state.h"
#include "bridge/serial_source.h"
#include "bridge/status_sink.h"
#include "bridge/status_text.h"
#include "platform/platform.h"

#include <string.h>

// Copies serial data to the client until the client goes, the device
// fails, or Stop. Every byte read is handed to the socket before the next
// read; nothing is allocated here.
static void Pump(SOCKET client, char* buffer)
{
    while (g_bridge.running != 0) {
        DWORD got = 0;
        // Taken afresh each time: Stop may have closed it meanwhile, and
        // the read failing is what ends the connection then.
        if (!PlatformReadSerial(g_bridge.serialPort, buffer, kTransferBytes, &got)) {
            return;
        }
        const char* next = buffer;
        int left = (int)got;
        while (left != 0) {
            int sent = send(client, next, left, 0);
            if (sent == SOCKET_ERROR) {
                return;
            }
            next += sent;
            left -= sent;
        }
    }
}

DWORD WINAPI RunBridge(LPVOID)
{
    wchar_t name[kPortNameChars];
    memset(name, 0, sizeof name);
    GetSelectedPort(name);

    char buffer[kTransferBytes];
    memset(buffer, 0, sizeof buffer);
    sockaddr_in peer;
    memset(&peer, 0, sizeof peer);
    int peerLength = sizeof peer;

    SetKeyLabel(L"Stop");
    while (g_bridge.running != 0) {
        SetOutputStatus(L"Listening...");
        SOCKET client = accept(g_bridge.listenSocket, (sockaddr*)&peer, &peerLength);
        if (client == INVALID_SOCKET) {
            int error = WSAGetLastError();
            // After Stop the failure is expected and says nothing.
            if (g_bridge.running == 1) {
                wchar_t status[kAcceptStatusChars];
                memset(status, 0, sizeof status);
                FormatStatus(status, kAcceptStatusChars, L"Accept failed: %d", error);
                SetOutputStatus(status);
            }
            continue;
        }
        SetOutputStatus(L"Connected...");

        // The port is held only while a client is served, so other programs
        // can use it in between.
        HANDLE port = OpenSerialPort(name);
        StoreHandle(&g_bridge.serialPort, port);
        if (port == INVALID_HANDLE_VALUE) {
            closesocket(client);
            continue;
        }
        SetInputStatus(L"Reading...");
        SetOutputStatus(L"Transmitting...");

        Pump(client, buffer);

        // Stop may have taken the port already; then this closes nothing.
        CloseSerialPort(TakeHandle(&g_bridge.serialPort));
        SetOutputStatus(L"Listening...");
        SetInputStatus(L"");
        closesocket(client);
    }

    SetOutputStatus(L"");
    SetInputStatus(L"");
    SetKeyLabel(L"Start");
    SetKeyEnabled(true);
    return 0;
}
