// A fixture's device on a COM port of the test's own, made when a case asks
// for one, so cases without a device start no helper.
#pragma once

#include "support/pty_port.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <optional>

class WithDevice {
protected:
    // Makes the device and selects its port; with `sending`, the device
    // sends its numbered blocks (PtyPort::KeepSending) from now on.
    void SelectDevice(bool sending)
    {
        device_.emplace();
        ASSERT_TRUE(device_->Ready());
        recording::SelectPort(device_->Name());
        if (sending) device_->KeepSending();
    }

    std::optional<PtyPort> device_;
};
