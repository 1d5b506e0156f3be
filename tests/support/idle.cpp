#include "support/idle.h"

#include "bridge/bridge_state.h"
#include "support/recording_sink.h"

std::string WhyNotIdle(bool linesCleared)
{
    std::string why;
    if (g_bridge.workerThread != INVALID_HANDLE_VALUE) why += "a worker thread is held; ";
    if (g_bridge.running != 0) why += "still running; ";
    if (g_bridge.listenSocket != INVALID_SOCKET) why += "a listening socket is held; ";
    if (g_bridge.serialPort != INVALID_HANDLE_VALUE) why += "a serial port is held; ";
    const auto events = recording::Events();
    if (events.empty() || events.back() != L"key:enabled") why += "the last event does not give the key back; ";
    if (recording::Last(L"label") == L"Stop") why += "the key still reads \"Stop\"; ";
    if (linesCleared) {
        if (recording::Last(L"in") != L"" || recording::Last(L"out") != L"") why += "a status line is not empty; ";
        if (recording::Last(L"label") != L"Start") why += "the key does not read \"Start\"; ";
    }
    return why;
}
