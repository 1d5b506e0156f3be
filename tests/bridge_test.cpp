// The worker, the listener and the serial source together, over real
// sockets, real threads and pseudo-terminal COM ports.
#include "bridge/bridge_state.h"
#include "bridge/listener.h"
#include "bridge/serial_source.h"
#include "bridge/worker.h"
#include "support/idle.h"
#include "support/loopback.h"
#include "support/pty_port.h"
#include "support/recording_sink.h"
#include "support/with_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

namespace {

class Bridge : public ::testing::Test, protected WithDevice {
protected:
    void TearDown() override
    {
        if (worker_ != NULL) {
            StopLikeTheKey();
            EXPECT_TRUE(WorkerEnds());
            CloseHandle(worker_);
        }
    }

    // Listener on a port of the system's choosing, then the worker.
    void StartWorker(const std::wstring& port, bool selected = true)
    {
        if (selected) recording::SelectPort(port);
        g_bridge.listenSocket = OpenListener(0);
        ASSERT_NE(INVALID_SOCKET, g_bridge.listenSocket);
        tcpPort_ = BoundPort(g_bridge.listenSocket);
        g_bridge.running = 1;
        worker_ = CreateThread(NULL, 0, RunBridge, NULL, 0, NULL);
        ASSERT_NE(static_cast<HANDLE>(NULL), worker_);
        // One from the listener, one from the worker about to accept.
        ASSERT_TRUE(recording::WaitFor(L"out:Listening...", 2));
    }

    void StartBridge() override { StartWorker(device_->Name()); }

    // What Stop does to the worker, from this thread as from the UI thread;
    // the port is the worker's to close.
    void StopLikeTheKey()
    {
        InterlockedExchange(&g_bridge.running, 0);
        for (SOCKET* slot : {&g_bridge.listenSocket, &g_bridge.clientSocket}) {
            SOCKET s = TakeSocket(slot);
            if (s != INVALID_SOCKET) closesocket(s);
        }
    }

    bool WorkerEnds(int timeoutMs = 5000)
    {
        return WaitForSingleObject(worker_, timeoutMs) == WAIT_OBJECT_0;
    }

    SOCKET Connect() { return ConnectLoopback(tcpPort_); }

    HANDLE worker_ = NULL;
    unsigned short tcpPort_ = 0;
};

std::vector<unsigned char> RandomBytes(size_t size)
{
    std::mt19937 generator(20175);
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) b = static_cast<unsigned char>(generator());
    return bytes;
}

TEST_F(Bridge, CopiesOneMebibyteByteExactAndReportsEachStage)
{
    StartWithDevice(false);

    const std::vector<unsigned char> sent = RandomBytes(1 << 20);
    ASSERT_EQ(256u, std::set<unsigned char>(sent.begin(), sent.end()).size());

    SOCKET client = Connect();
    ASSERT_NE(INVALID_SOCKET, client);
    ASSERT_TRUE(recording::WaitFor(L"out:Transmitting..."));

    auto start = std::chrono::steady_clock::now();
    device_->WriteInBackground(sent);
    std::vector<unsigned char> received(sent.size());
    size_t got = ReceiveExactly(client, received.data(), received.size(), 20000);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_EQ(sent.size(), got);
    EXPECT_TRUE(sent == received) << "the stream differs from what the device sent";
    RecordProperty("transfer_bytes", static_cast<int>(got));
    RecordProperty("transfer_ms", static_cast<int>(seconds * 1000));
    std::printf("byte-exact transfer: %zu bytes in %.3f s (%.2f MB/s)\n", got, seconds, got / seconds / 1e6);

    EXPECT_TRUE(recording::InOrder({L"label:Stop", L"out:Listening...", L"out:Connected...",
                                    L"in:Opened...", L"in:Reading...", L"out:Transmitting..."})) << recording::Dump();
    closesocket(client);
}

TEST_F(Bridge, ClientThatLeavesIsDroppedAndTheNextGetsAFreshOpen)
{
    StartWithDevice(true);

    SOCKET first = Connect();
    ASSERT_GT(ReceiveFor(first, 500), 0);
    closesocket(first);

    // The next failed send ends the connection and closes the port.
    ASSERT_TRUE(recording::WaitFor(L"in:", 2));
    ASSERT_TRUE(recording::InOrder({L"in:Reading...", L"out:Transmitting...", L"in:",
                                    L"out:Listening...", L"in:"})) << recording::Dump();
    EXPECT_EQ(1, recording::Count(L"in:Opened..."));

    SOCKET second = Connect();
    EXPECT_GT(ReceiveFor(second, 1000), 0);
    EXPECT_EQ(2, recording::Count(L"in:Opened..."));
    EXPECT_EQ(2, recording::Count(L"out:Connected..."));
    closesocket(second);
}

TEST_F(Bridge, SecondClientWaitsUntilTheFirstLeaves)
{
    StartWithDevice(true);

    SOCKET first = Connect();
    ASSERT_GT(ReceiveFor(first, 300), 0);
    SOCKET second = Connect();
    ASSERT_NE(INVALID_SOCKET, second);

    // The first keeps reading, so the worker stays busy with it.
    EXPECT_GT(ReceiveFor(first, 800), 0);
    EXPECT_EQ(0, ReceiveFor(second, 200));
    EXPECT_EQ(1, recording::Count(L"out:Connected..."));

    closesocket(first);
    EXPECT_GT(ReceiveFor(second, 2000), 0);
    EXPECT_EQ(2, recording::Count(L"out:Connected..."));
    closesocket(second);
}

TEST_F(Bridge, SlowClientWithTinyWindowGetsEveryByteInOrder)
{
    StartWithDevice(false);

    SOCKET client = ConnectLoopback(tcpPort_, 512);
    ASSERT_NE(INVALID_SOCKET, client);
    ASSERT_TRUE(recording::WaitFor(L"out:Transmitting..."));
    const std::vector<unsigned char> sent = RandomBytes(256 * 1024);
    device_->WriteInBackground(sent);

    std::vector<unsigned char> received;
    unsigned char piece[97];
    while (received.size() < sent.size()) {
        size_t got = ReceiveExactly(client, piece, std::min(sizeof piece, sent.size() - received.size()), 10000);
        if (got == 0) break;
        received.insert(received.end(), piece, piece + got);
        if (received.size() % 16 == 0) Sleep(1);
    }
    ASSERT_EQ(sent.size(), received.size());
    EXPECT_TRUE(sent == received);
    closesocket(client);
}

// A receiver unplugged mid-stream: its port reads empty but no longer
// answers for its status, and then no longer opens, until it is back.
TEST_F(Bridge, DeviceThatGoesAwayEndsTheConnectionAndIsServedOnceBack)
{
    StartWithDevice(true);
    SOCKET first = Connect();
    ASSERT_GT(ReceiveFor(first, 300), 0);
    const std::wstring name = device_->Name();
    device_.reset();
    EXPECT_TRUE(ReadToEnd(first, 1000, 1000)) << "the client is let go";
    closesocket(first);
    ASSERT_TRUE(recording::WaitFor(L"in:", 2)) << recording::Dump();
    EXPECT_EQ(L"Listening...", recording::Last(L"out"));
    EXPECT_EQ(L"Stop", recording::Last(L"label"));

    SOCKET second = Connect();
    EXPECT_EQ(-1, ReceiveFor(second, 2000)) << "no device, no stream";
    EXPECT_EQ(0u, recording::Last(L"in").find(L"Open (" + name + L") failed: ")) << recording::Dump();
    closesocket(second);

    device_.emplace(name);
    device_->KeepSending();
    closesocket(ExpectServed(tcpPort_));
}

TEST_F(Bridge, MissingComPortShowsTheOpenFailureAndDropsEachClient)
{
    std::wstring name = UnusedComPort();
    HANDLE probe = CreateFileW((L"\\\\.\\" + name).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_EQ(INVALID_HANDLE_VALUE, probe);
    const std::wstring expected = L"in:Open (" + name + L") failed: " + std::to_wstring(GetLastError());

    StartWorker(name);
    for (int client = 1; client <= 2; ++client) {
        SOCKET s = Connect();
        EXPECT_EQ(-1, ReceiveFor(s, 2000)) << "the client must be dropped at once";
        EXPECT_TRUE(recording::WaitFor(expected, client)) << "expected " << std::string(expected.begin(), expected.end());
        closesocket(s);
    }
    EXPECT_TRUE(recording::WaitFor(L"out:Listening...", 4));
    EXPECT_EQ(expected.substr(3), recording::Last(L"in"));
}

TEST_F(Bridge, PortNameTooLongForTheDevicePathIsRefusedNotCut)
{
    // 15 characters fit the name buffer but leave no room for ":".
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenSerialPort(L"COM123456789012"));
    EXPECT_EQ(L"Open (COM123456789012) failed: 206", recording::Last(L"in"));

    // 14 characters fit; the open itself is tried and fails as the platform says.
    HANDLE probe = CreateFileW(L"\\\\.\\COM12345678901", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_EQ(INVALID_HANDLE_VALUE, probe);
    DWORD code = GetLastError();
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenSerialPort(L"COM12345678901"));
    EXPECT_EQ(L"Open (COM12345678901) failed: " + std::to_wstring(code), recording::Last(L"in"));
}

TEST_F(Bridge, ClosingNoPortSaysNothing)
{
    CloseSerialPort(INVALID_HANDLE_VALUE);
    EXPECT_TRUE(recording::Events().empty());
}

TEST_F(Bridge, BlockedAcceptEndsWhenTheListenerIsClosed)
{
    StartWorker(UnusedComPort());
    Sleep(100);   // let the worker block in accept
    StopLikeTheKey();
    ASSERT_TRUE(WorkerEnds());
    EXPECT_EQ("", WhyNotIdle()) << recording::Dump();
    EXPECT_EQ(0, recording::Count(L"out:Accept failed: 995"));
    for (const auto& e : recording::Events()) EXPECT_EQ(std::wstring::npos, e.find(L"failed")) << std::string(e.begin(), e.end());
}

TEST_F(Bridge, SilentReadEndsSoonAfterStopAndTheWorkerClosesThePort)
{
    StartWithDevice(false);   // the device stays silent
    SOCKET client = Connect();
    ASSERT_TRUE(recording::WaitFor(L"out:Transmitting..."));
    Sleep(100);   // let the worker block in the read

    auto start = std::chrono::steady_clock::now();
    StopLikeTheKey();
    ASSERT_TRUE(WorkerEnds());
    std::printf("worker ended %lld ms after Stop\n", static_cast<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()));
    EXPECT_EQ("", WhyNotIdle()) << recording::Dump();
    EXPECT_EQ(0, recording::Count(L"in:Close failed: 6")) << "the port was closed twice";
    EXPECT_EQ(-1, ReceiveFor(client, 1000)) << "the client is let go";
    closesocket(client);
}

TEST_F(Bridge, AcceptFailureWhileRunningIsShownWithItsCode)
{
    StartWorker(UnusedComPort());
    Sleep(100);
    // Closing the listener without clearing `running` is a failed accept
    // the worker did not expect.
    SOCKET listener = TakeSocket(&g_bridge.listenSocket);
    closesocket(listener);
    const std::wstring failed = L"out:Accept failed: " + std::to_wstring(WSAENOTSOCK);
    ASSERT_TRUE(recording::WaitFor(failed));
    // A lasting failure costs a few attempts a second, not as many as fail.
    Sleep(1000);
    EXPECT_LE(recording::Count(failed), 10);
    InterlockedExchange(&g_bridge.running, 0);
    ASSERT_TRUE(WorkerEnds());
    EXPECT_EQ("", WhyNotIdle()) << recording::Dump();
}

TEST_F(Bridge, WithNoPortSelectedTheWorkerAsksOnceAndFailsEachOpen)
{
    StartWorker(L"", false);
    EXPECT_TRUE(recording::InOrder({L"box:No port selected!|Error", L"label:Stop"})) << recording::Dump();
    for (int client = 1; client <= 2; ++client) {
        SOCKET s = Connect();
        EXPECT_EQ(-1, ReceiveFor(s, 2000));
        closesocket(s);
    }
    EXPECT_EQ(1, recording::Count(L"box:No port selected!|Error"));
    std::wstring shown = recording::Last(L"in");
    EXPECT_EQ(0u, shown.find(L"Open () failed: ")) << std::string(shown.begin(), shown.end());
    EXPECT_EQ(0, recording::Count(L"in:Opened..."));
}

}  // namespace
