#include "bridge/worker.h"

#include "bridge/bridge_state.h"
#include "bridge/serial_source.h"
#include "bridge/status_sink.h"
#include "bridge/status_text.h"

#include <string.h>

// After a failed accept, how long the worker waits before it accepts
// again; and in what slices any of its pauses looks for Stop.
static const DWORD kAcceptRetryMs = 200;
static const DWORD kPauseSliceMs = 20;

// Waits `ms`, or less once Stop has cleared `running`: Stop is seen within
// one slice.
static void PauseWhileRunning(DWORD ms)
{
    for (DWORD waited = 0; waited < ms && g_bridge.running != 0; waited += kPauseSliceMs) {
        Sleep(ms - waited < kPauseSliceMs ? ms - waited : kPauseSliceMs);
    }
}

// A device that has gone away (a receiver unplugged, a Bluetooth link
// dropped) need not fail the read: it may answer empty at once or after
// the read's wait, just as a silent device does. Only the port's status
// tells the two apart; a live port, silent or not, answers it.
static bool AnswersStatus(HANDLE port)
{
    DWORD errors = 0;
    return ClearCommError(port, &errors, NULL) != FALSE;
}

// Copies serial data to the client until the client goes, the device
// fails or goes, or Stop. Every byte read is handed to the socket before
// the next read; nothing is allocated here.
//
// Some drivers have no answer for the status call at all (a GPS maker's
// virtual port needs only open and read), and there a failure says
// nothing about the device. So only a port that answered when it opened
// (`answered`) is judged gone when it stops answering; any other is
// served until a read or a send fails, or Stop. The question follows only
// an empty read: where a driver refused the read wait and its reads wait
// for data, a device that goes away is noticed only if the read fails.
static void Pump(char* buffer, bool answered)
{
    while (g_bridge.running != 0) {
        DWORD got = 0;
        // On a port that took the read wait, a read on a silent device
        // returns empty after it, so `running` is seen even when nothing
        // arrives. On one whose driver refused the wait, or took it and
        // still waits, the read returns when the driver's does: one that
        // fills each read first waits for all of kTransferBytes, and a
        // silent device holds it until it sends.
        DWORD began = GetTickCount();
        if (!ReadFile(g_bridge.serialPort, buffer, kTransferBytes, &got, NULL)) {
            return;
        }
        if (got == 0 && answered && !AnswersStatus(g_bridge.serialPort)) {
            return;
        }
        // Not every driver keeps the read wait: one may return every empty
        // read at once, and reading again straight away would then spin for
        // as long as the device is silent, on the handset's battery. What
        // the read did not wait is waited here, so data that arrives
        // meanwhile reaches the client up to that much later; a read that
        // waited, or brought data, is followed by the next at once.
        DWORD took = GetTickCount() - began;
        if (got == 0 && took < kReadWaitMs) {
            PauseWhileRunning(kReadWaitMs - took);
        }
        const char* next = buffer;
        int left = (int)got;
        while (left != 0) {
            // Taken afresh each time: a client that stops reading leaves this
            // send waiting, and only Stop closing the socket ends it.
            int sent = send(g_bridge.clientSocket, next, left, 0);
            if (sent == SOCKET_ERROR) {
                return;
            }
            next += sent;
            left -= sent;
        }
    }
}

static void CloseClient()
{
    SOCKET client = TakeSocket(&g_bridge.clientSocket);
    if (client != INVALID_SOCKET) {
        closesocket(client);
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
                // A listener that stays broken fails every accept at once.
                // Retrying straight away would post a failure and
                // "Listening..." to the window as fast as the processor
                // allows, draining the battery and leaving the failure text
                // no time on screen.
                PauseWhileRunning(kAcceptRetryMs);
            }
            continue;
        }
        StoreSocket(&g_bridge.clientSocket, client);
        SetOutputStatus(L"Connected...");

        // The port is held only while a client is served, so other programs
        // can use it in between.
        HANDLE port = OpenSerialPort(name);
        StoreHandle(&g_bridge.serialPort, port);
        if (port == INVALID_HANDLE_VALUE) {
            CloseClient();
            continue;
        }
        // Asked once the time-outs are set, while the port is live:
        // a Bluetooth port's link is made as it opens.
        bool answered = AnswersStatus(port);
        SetInputStatus(L"Reading...");
        SetOutputStatus(L"Transmitting...");

        Pump(buffer, answered);

        // The port is the worker's alone; the client Stop may have taken
        // and closed already, and then this closes nothing.
        CloseSerialPort(TakeHandle(&g_bridge.serialPort));
        SetOutputStatus(L"Listening...");
        SetInputStatus(L"");
        CloseClient();
    }

    SetOutputStatus(L"");
    SetInputStatus(L"");
    SetKeyLabel(L"Start");
    SetKeyEnabled(true);
    return 0;
}
