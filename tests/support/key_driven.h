// Drives the bridge the way the window does: every change goes through
// ToggleBridge on this thread, which plays the UI thread. Each case starts
// with nothing saved and ends with the worker gone.
#pragma once

#include "bridge/bridge_state.h"
#include "settings/settings.h"
#include "support/loopback.h"
#include "support/recording_sink.h"
#include "support/with_device.h"

#include <gtest/gtest.h>

#include <vector>

class KeyDriven : public ::testing::Test, protected WithDevice {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey); }

    void TearDown() override
    {
        if (g_bridge.workerThread != INVALID_HANDLE_VALUE) EXPECT_TRUE(PressStopAndWait());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
    }

    // Presses Start; with `waitForWorker` also waits until the worker has
    // relabelled the key, so it is about to accept.
    void PressStart(bool waitForWorker = true)
    {
        int stops = recording::Count(L"label:Stop");
        recording::Press();
        ASSERT_NE(INVALID_HANDLE_VALUE, g_bridge.workerThread) << recording::Dump();
        tcpPort_ = BoundPort(g_bridge.listenSocket);
        if (waitForWorker) ASSERT_TRUE(recording::WaitFor(L"label:Stop", stops + 1));
    }

    void StartBridge() override { PressStart(); }

    // Presses Stop, then lets go of `clients`, as the user's application
    // would after its stream ended, then waits for the worker thread itself
    // to end. True when it ended in time.
    bool PressStopAndWait(const std::vector<SOCKET>& clients = {}, int timeoutMs = 10000)
    {
        HANDLE worker = NULL;
        DuplicateHandle(GetCurrentProcess(), g_bridge.workerThread, GetCurrentProcess(), &worker, SYNCHRONIZE,
                        FALSE, 0);
        recording::Press();
        for (SOCKET s : clients) closesocket(s);
        bool ended = worker != NULL && WaitForSingleObject(worker, timeoutMs) == WAIT_OBJECT_0;
        if (worker != NULL) CloseHandle(worker);
        return ended;
    }

    unsigned short tcpPort_ = 0;
};
