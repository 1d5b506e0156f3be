#include "bridge/controller.h"

#include "bridge/bridge_state.h"
#include "bridge/listener.h"
#include "bridge/status_sink.h"
#include "bridge/status_text.h"
#include "bridge/worker.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <string.h>

static void CloseListener()
{
    SOCKET listener = TakeSocket(&g_bridge.listenSocket);
    if (listener != INVALID_SOCKET) {
        closesocket(listener);
    }
}

// A client that has stopped reading would hold the worker in its send for
// as long as the client stays connected.
static void CloseClient()
{
    SOCKET client = TakeSocket(&g_bridge.clientSocket);
    if (client != INVALID_SOCKET) {
        PlatformEndSend(client);
        closesocket(client);
    }
}

// The key stays greyed for the whole change, so no second Start can begin
// while a worker is still winding down.
static void Start()
{
    SetKeyEnabled(false);
    wchar_t name[kPortNameChars];
    memset(name, 0, sizeof name);
    GetSelectedPort(name);
    short port = (short)(GetTcpPortField() & 0xFFFF);

    g_bridge.listenSocket = OpenListener(port);
    if (g_bridge.listenSocket != INVALID_SOCKET) {
        SaveSettings(port, name);
        SetRunning(1);
        HANDLE worker = CreateThread(NULL, 0, RunBridge, NULL, 0, NULL);
        if (worker == NULL) {
            // Without a worker nobody would ever give the key back, and the
            // next press would try to stop a thread that does not exist.
            int error = (int)GetLastError();
            SetRunning(0);
            CloseListener();
            wchar_t status[kStatusChars];
            memset(status, 0, sizeof status);
            FormatStatus(status, kStatusChars, L"Thread failed: %d", error);
            SetOutputStatus(status);
        } else {
            g_bridge.workerThread = worker;
        }
    }
    SetKeyEnabled(true);
}

// Closing the listener and the client is what wakes the worker from a
// blocking accept or send. The serial port is left to the worker: neither
// the handset nor Wine promises that closing it ends a read another thread
// is making, and a read started on a handle closed under it could reach
// whatever object takes the number next. On a port that took the read
// wait the worker's reads end within 200 ms by themselves; on one whose
// driver refused it, only when the driver's read returns, which a silent
// device delays until it sends. The worker then sees `running` at 0 and
// closes the port. Stop never waits for it: the worker's last status calls
// are handled on this very thread. The worker gives the key back.
static void Stop()
{
    SetKeyEnabled(false);
    SetRunning(0);
    CloseListener();
    CloseClient();
    CloseHandle(TakeHandle(&g_bridge.workerThread));
}

// A greyed key stops only presses made after it greyed: a command queued
// before, one another program posts, or one handled in the message loop
// of Start's "No port selected!" box still comes here. Left to run, it
// would start a second bridge beside a Start under way, or beside a
// stopped worker that is still finishing its last read, and both would
// work on one record. The key's state is read from the window, on this
// thread: the worker gives the key back through a message handled here,
// so the command runs exactly when the key shows enabled.
void ToggleBridge()
{
    if (!IsKeyEnabled()) {
        return;
    }
    if (g_bridge.workerThread == INVALID_HANDLE_VALUE) {
        Start();
    } else {
        Stop();
    }
}
