// A fixture's device on a COM port of the test's own, made when a case asks
// for one, so cases without a device start no helper.
#pragma once

#include "support/loopback.h"
#include "support/pty_port.h"
#include "support/recording_sink.h"
#include "support/stream_pattern.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

class WithDevice {
protected:
    // Each case starts with nothing recorded and the sockets started.
    WithDevice()
    {
        recording::Reset();
        StartSockets();
    }

    // Makes the device and selects its port; with `sending`, the device
    // sends its numbered blocks (PtyPort::KeepSending) from now on.
    void SelectDevice(bool sending)
    {
        device_.emplace();
        ASSERT_TRUE(device_->Ready());
        recording::SelectPort(device_->Name());
        if (sending) device_->KeepSending();
    }

    // Makes the device as SelectDevice does, then starts the bridge on it.
    void StartWithDevice(bool sending = true)
    {
        SelectDevice(sending);
        if (!::testing::Test::HasFatalFailure()) StartBridge();
    }

    // Connects a client to `port` and checks that it is given an unbroken
    // stretch of the sending device's stream; the client stays connected.
    SOCKET ExpectServed(unsigned short port)
    {
        SOCKET client = ConnectLoopback(port);
        std::vector<unsigned char> data(64 * 1024);
        EXPECT_EQ(data.size(), ReceiveExactly(client, data.data(), data.size()));
        EXPECT_EQ("", BreakInKeepSendingStream(data.data(), data.size()));
        return client;
    }

    // Starts the bridge on the selected port, the fixture's own way.
    virtual void StartBridge() = 0;

    std::optional<PtyPort> device_;
};
