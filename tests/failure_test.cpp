// Every failure the program can show, provoked through the system call
// itself: what the user is left with, that nothing leaked, and that the
// next Start serves a client byte-exactly.
#include "bridge/bridge_state.h"
#include "settings/settings.h"
#include "support/faults.h"
#include "support/handle_count.h"
#include "support/idle.h"
#include "support/key_driven.h"
#include "support/loopback.h"
#include "support/recording_sink.h"
#include "support/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace {

// Where the call fails: as Start opens the listener and the worker; as the
// worker opens the port for a client; in the middle of a client's stream;
// while a silent device is served; from the open on, for good, while a
// device sends in bursts; as the window loads the settings. AtOnce fails
// no call: once the port is open its reads return at once (a driver that
// ignores the read wait), while the device sends in bursts.
enum When { Start, Open, Stream, Silence, Bursts, AtOnce, Load };

// The lines and the key the user is left with ("%s": the port's name, "%d":
// the error).
struct Screen { const wchar_t *in, *out, *label; };
const Screen kListening = {L"", L"Listening...", L"Stop"};
const Screen kServed = {L"Reading...", L"Transmitting...", L"Stop"};

struct Row {
    const char* proves;
    const char* call;   // in the Bursts rows, one or more, each failing
    DWORD error;
    When when;
    Screen left;
    int nth = 1;   // which of the product's calls fails
};

class Failure : public KeyDriven, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override
    {
        KeyDriven::SetUp();
        SelectDevice(true);
        port_ = FreeLoopbackPort();
        recording::SetTcpPortField(port_);
    }

    // On the same TCP port each time: a failed Start closed what it opened.
    void Start()
    {
        PressStart();
        ASSERT_EQ(port_, tcpPort_);
    }

    void Served() { closesocket(ExpectServed(port_)); }

    // The client meets the failure, is let go, and the worker waits for the next.
    void Dropped(SOCKET client)
    {
        EXPECT_TRUE(ReadToEnd(client, 500, 10000)) << "the client is let go";
        closesocket(client);
        EXPECT_TRUE(recording::WaitForWorkerAwaitingClient());
    }

    unsigned short port_ = 0;
};

std::wstring Shown(const std::wstring& target, const std::wstring& never)
{
    std::wstring text = recording::Last(target);
    return text == L"<never set>" ? never : text;
}

std::wstring Filled(std::wstring text, const std::wstring& port, DWORD error)
{
    if (text.find(L"%s") != std::wstring::npos) text.replace(text.find(L"%s"), 2, port);
    if (text.find(L"%d") != std::wstring::npos) text.replace(text.find(L"%d"), 2, std::to_wstring(error));
    return text;
}

TEST_P(Failure, LeavesItsTextsLeaksNothingAndTheNextStartServes)
{
    const Row& row = GetParam();
    // One whole cycle first: what the system makes once a process is there
    // before the counts are taken.
    Start();
    Served();
    ASSERT_TRUE(PressStopAndWait());
    const long handles = MostOf(CountProcessHandles);
    const long threads = MostOf(CountProcessThreads);
    ASSERT_GT(std::min(handles, threads), 0) << "the system does not say";

    if (row.when == When::Load) {
        SaveSettings(4000, L"COM5");
        faults::Fail(row.call, row.nth, row.error);
        ExpectSettings(20175, L"COM2");
    } else {
        const int stops = recording::Count(L"label:Stop");
        SOCKET kept = INVALID_SOCKET;   // a client still served
        if (row.when == When::Start) {
            faults::Fail(row.call, row.nth, row.error);
            recording::Press();
            if (std::wstring(row.left.label) == L"Stop") {
                EXPECT_TRUE(recording::WaitFor(L"label:Stop", stops + 1));
                EXPECT_TRUE(recording::WaitForWorkerAwaitingClient());
            }
        } else if (row.when == When::Bursts || row.when == When::AtOnce) {
            // A GPS's way: each burst is followed by a silence longer than a
            // read's wait. The client stays served and gets every byte, and
            // the silences cost no processor time.
            Start();
            device_->Pause(true);
            std::istringstream calls(row.call);
            for (std::string call; calls >> call;) faults::Fail(call.c_str(), row.nth, row.error, true);
            const int reading = recording::Count(L"in:Reading...");
            kept = ConnectLoopback(port_);
            if (row.when == When::AtOnce) {
                ASSERT_TRUE(recording::WaitFor(L"in:Reading...", reading + 1));
                COMMTIMEOUTS atOnce = {MAXDWORD, 0, 0, 0, 0};
                ASSERT_TRUE(SetCommTimeouts(g_bridge.serialPort, &atOnce));
            }
            const double cpu = ProcessCpuSeconds();
            std::vector<unsigned char> got;
            for (int burst = 0; burst < 5; ++burst) {
                device_->Pause(false);
                Sleep(20);
                device_->Pause(true);
                EXPECT_FALSE(ReadToEnd(kept, 500, 5000, &got, 1 << 24)) << "the client is let go";
            }
            EXPECT_LT(ProcessCpuSeconds() - cpu, 0.5) << "the worker spins through the silences";
            ASSERT_FALSE(got.empty());
            EXPECT_EQ("", BreakInKeepSendingStream(got.data(), got.size()));
            EXPECT_EQ((device_->Sent() / 512 - 1) % 251, got.back()) << "the last block never arrived";
        } else {
            Start();
            device_->Pause(row.when == When::Silence);
            if (row.when == When::Open || row.when == When::Silence) faults::Fail(row.call, row.nth, row.error);
            SOCKET client = ConnectLoopback(port_);
            char some[4096];
            if (row.when == When::Stream) {
                EXPECT_EQ(sizeof some, ReceiveExactly(client, some, sizeof some));
                faults::Fail(row.call, row.nth, row.error);
            }
            Dropped(client);
            device_->Pause(false);
        }
        EXPECT_EQ(Filled(row.left.in, device_->Name(), row.error), Shown(L"in", L""));
        EXPECT_EQ(Filled(row.left.out, device_->Name(), row.error), Shown(L"out", L""));
        EXPECT_EQ(row.left.label, Shown(L"label", L"Start"));
        EXPECT_EQ(L"enabled", Shown(L"key", L"enabled"));
        if (std::wstring(row.left.label) == L"Start") {
            EXPECT_EQ(stops, recording::Count(L"label:Stop")) << "no worker began";
        } else {
            closesocket(kept);   // none but in the burst rows
            device_->Pause(false);
            if (row.when != When::Start) Served();   // the next client
            EXPECT_TRUE(PressStopAndWait());
        }
        EXPECT_EQ("", WhyNotIdle(false)) << recording::Dump();
    }
    faults::Clear();

    EXPECT_LE(SettledTo(CountProcessHandles, handles), handles) << "handles left behind";
    EXPECT_LE(SettledTo(CountProcessThreads, threads), threads) << "threads left behind";
    Start();
    Served();
}

const Row kRows[] = {
    {"InitFailsTheStart", "WSAStartup", WSASYSNOTREADY, Start, {L"", L"Init failed: %d", L"Start"}},
    {"SocketFailsTheStart", "socket", WSAEMFILE, Start, {L"", L"Socket failed: %d", L"Start"}},
    {"BindFailsTheStart", "bind", WSAEADDRINUSE, Start, {L"", L"Bind failed: %d", L"Start"}},
    {"ListenFailsTheStart", "listen", WSAENOBUFS, Start, {L"", L"Listen failed: %d", L"Start"}},
    {"ThreadFailsTheStart", "CreateThread", ERROR_NOT_ENOUGH_MEMORY, Start, {L"", L"Thread failed: %d", L"Start"}},
    {"SaveFailureIsSilent", "RegCreateKeyExW", ERROR_ACCESS_DENIED, Start, kListening},
    {"FlushFailureIsSilent", "RegFlushKey", ERROR_WRITE_FAULT, Start, kListening},
    {"OpenFailureDropsTheClient", "CreateFileW", ERROR_ACCESS_DENIED, Open,
     {L"Open (%s) failed: %d", L"Listening...", L"Stop"}},
    // Such a port is read with the driver's own time-outs; Wine's make each
    // read wait for all 512 bytes, and the device sends whole blocks.
    {"PortWithUnreadableTimeOutsIsServed", "GetCommTimeouts", ERROR_GEN_FAILURE, Bursts, kServed},
    {"PortWithUnsettableTimeOutsIsServed", "SetCommTimeouts", ERROR_INVALID_PARAMETER, Bursts, kServed},
    {"PortWithNeitherTimeOutsNorStatusIsServed", "GetCommTimeouts SetCommTimeouts ClearCommError",
     ERROR_NOT_SUPPORTED, Bursts, kServed},
    {"ReadsReturningAtOnceDoNotSpin", "", 0, AtOnce, kServed},
    {"FailedReadEndsTheConnection", "ReadFile", ERROR_GEN_FAILURE, Stream, kListening},
    // The first status call is the one made as the port opens.
    {"UnreadyPortAfterAnEmptyReadEndsTheConnection", "ClearCommError", ERROR_NOT_READY, Silence, kListening, 2},
    {"PortWithoutStatusIsServedThroughSilences", "ClearCommError", ERROR_NOT_SUPPORTED, Bursts, kServed},
    {"FailedSendEndsTheConnection", "send", WSAECONNRESET, Stream, kListening},
    {"UnopenableSettingsGiveDefaults", "RegOpenKeyExW", ERROR_ACCESS_DENIED, Load, {L"", L"", L""}},
};

INSTANTIATE_TEST_SUITE_P(Calls, Failure, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.proves; });

}  // namespace
