// Long runs through the real Start/Stop key and worker: a large random
// stream, a thousand clients coming and going, and hundreds of Start/Stop
// cycles with clients and data in flight.
#include "bridge/bridge_state.h"
#include "support/handle_count.h"
#include "support/idle.h"
#include "support/key_driven.h"
#include "support/loopback.h"
#include "support/pty_port.h"
#include "support/recording_sink.h"
#include "support/sha256.h"
#include "support/stream_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---------------------------------------------------------------------------
// Soak: a large random stream, device to client, compared by digest.

size_t SoakBytes()
{
    long mib = 64;
    if (const char* text = std::getenv("VELMORA_SOAK_MIB")) mib = std::strtol(text, nullptr, 10);
    if (mib <= 0) mib = 64;
    return static_cast<size_t>(mib) << 20;   // whole 512-byte reads, as the port hands them out
}

// The same seed gives the same stream on both sides, block by block.
class RandomStream {
public:
    explicit RandomStream(uint64_t seed) : generator_(seed) {}
    void Fill(unsigned char* data, size_t size)
    {
        for (size_t i = 0; i < size; i += 8) {
            uint64_t word = generator_();
            std::memcpy(data + i, &word, std::min<size_t>(8, size - i));
        }
    }

private:
    std::mt19937_64 generator_;
};

using Soak = KeyDriven;

TEST_F(Soak, RandomStreamArrivesWithTheSameDigestNothingLostDuplicatedOrReordered)
{
    const size_t total = SoakBytes();
    const size_t kChunk = 64 * 1024;
    const uint64_t kSeed = 0x5eed20175ull;

    StartWithDevice(false);
    SOCKET client = ConnectLoopback(tcpPort_);
    ASSERT_NE(INVALID_SOCKET, client);
    ASSERT_TRUE(recording::WaitFor(L"out:Transmitting..."));

    Sha256 sentDigest, receivedDigest;
    ASSERT_TRUE(sentDigest.Ready() && receivedDigest.Ready()) << "no SHA-256 provider";
    std::atomic<bool> written{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&] {
        RandomStream stream(kSeed);
        std::vector<unsigned char> block(kChunk);
        for (size_t done = 0; done < total; done += kChunk) {
            const size_t size = std::min(kChunk, total - done);
            stream.Fill(block.data(), size);
            sentDigest.Add(block.data(), size);
            if (!device_->Write(block.data(), size)) return;
        }
        written = true;
    });

    // The digest is the verdict; regenerating the stream here only says
    // where a difference starts.
    RandomStream expected(kSeed);
    std::vector<unsigned char> want(kChunk), got(kChunk);
    size_t received = 0;
    size_t firstDifference = SIZE_MAX;
    while (received < total) {
        const size_t size = std::min(kChunk, total - received);
        // A stall of this long means the pump has stopped, not that it is slow.
        const size_t arrived = ReceiveExactly(client, got.data(), size, 30000);
        receivedDigest.Add(got.data(), arrived);
        if (firstDifference == SIZE_MAX) {
            expected.Fill(want.data(), size);
            auto where = std::mismatch(got.begin(), got.begin() + arrived, want.begin());
            if (where.first != got.begin() + arrived) firstDifference = received + (where.first - got.begin());
        }
        received += arrived;
        if (arrived < size) break;
    }
    const double seconds = SecondsSince(start);
    writer.join();
    const long extra = ReceiveFor(client, 500);

    ASSERT_TRUE(written) << "the device could not write its stream";
    EXPECT_EQ(total, received) << "the stream stalled for 30 s";
    EXPECT_EQ(0, extra) << "bytes arrived beyond what the device sent";
    EXPECT_EQ(sentDigest.Finish(), receivedDigest.Finish());
    EXPECT_EQ(SIZE_MAX, firstDifference) << "first difference at byte " << firstDifference;
    std::printf("soak: %zu MiB in %.1f s (%.2f MB/s)\n", received >> 20, seconds, received / seconds / 1e6);
    RecordProperty("soak_bytes", std::to_string(received));
    RecordProperty("soak_ms", static_cast<int>(seconds * 1000));

    EXPECT_TRUE(PressStopAndWait({client}));
    EXPECT_EQ(1, recording::Count(L"out:Connected...")) << recording::Dump();
}

// ---------------------------------------------------------------------------
// Churn: a thousand clients come and go while the device keeps sending.

using ClientChurn = KeyDriven;

TEST_F(ClientChurn, ThousandClientsEachGetAnUnbrokenStreamAndNoHandleIsLeft)
{
    StartWithDevice();

    std::mt19937 generator(1000);
    int connected = 0, served = 0, readers = 0, brokenStreams = 0;
    std::vector<unsigned char> data(4096);
    // Kinds: 0-4 takes some bytes and leaves (with unread bytes in flight,
    // so an abortive close); 5-6 leaves at once, before it is even
    // accepted; 7-9 waits until the worker serves it and leaves unread.
    auto client = [&](int index) {
        const int kind = static_cast<int>(generator() % 10);
        SOCKET s = ConnectLoopback(tcpPort_);
        ASSERT_NE(INVALID_SOCKET, s) << "client " << index;
        ++connected;
        if (kind <= 4) {
            ++readers;
            const size_t want = 1 + generator() % data.size();
            const size_t got = ReceiveExactly(s, data.data(), want, 10000);
            EXPECT_EQ(want, got) << "client " << index << " was not served";
            const std::string broken = BreakInKeepSendingStream(data.data(), got);
            if (!broken.empty() && ++brokenStreams <= 5) ADD_FAILURE() << "client " << index << ": " << broken;
            served += got > 0;
        } else if (kind >= 7) {
            // Served in turn after everyone before it in the backlog.
            EXPECT_TRUE(recording::WaitFor(L"out:Transmitting...", connected)) << "client " << index;
        }
        closesocket(s);
    };

    for (int i = 0; i < 40; ++i) client(-1 - i);
    ASSERT_TRUE(recording::WaitForWorkerAwaitingClient());
    const long baseline = MostOf(CountProcessHandles);
    ASSERT_GT(baseline, 0);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) client(i);
    // One last reader: once it is served, every earlier client has left the
    // backlog.
    client(1000);
    const double seconds = SecondsSince(start);
    ASSERT_TRUE(recording::WaitForWorkerAwaitingClient()) << recording::Dump().substr(0, 4000);
    const long after = SettledTo(CountProcessHandles, baseline);

    std::printf("churn: %d readers served of %d, 1001 clients in %.1f s; handles: baseline %ld, after %ld\n",
                served, readers, seconds, baseline, after);
    EXPECT_EQ(readers, served);
    EXPECT_EQ(0, brokenStreams);
    EXPECT_LE(after, baseline) << "handles left behind by the clients' connections";
    const int connections = recording::Count(L"out:Connected...");
    EXPECT_EQ(connected, connections) << "every client, even one gone before accept, is taken from the backlog";
    EXPECT_EQ(connections, recording::Count(L"in:Opened..."));
    EXPECT_EQ(0, recording::Count(L"in:Close failed: 6"));
    EXPECT_TRUE(PressStopAndWait());
}

// ---------------------------------------------------------------------------
// Start/Stop cycles with clients and data in flight.

using StartStopCycles = KeyDriven;

// Reads a connection to its end (or 15 s of silence) on a thread of its
// own, keeping the first MiB. A plain system thread: the C++ runtime keeps
// objects of its own from one of its threads to the next, which the handle
// count would take for a leak.
struct ConnectionReader {
    explicit ConnectionReader(SOCKET s) : socket(s), thread(CreateThread(NULL, 0, Run, this, 0, NULL)) {}
    void Join()
    {
        if (thread == NULL) return;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        thread = NULL;
    }
    ~ConnectionReader() { Join(); }

    static DWORD WINAPI Run(LPVOID self)
    {
        ConnectionReader& me = *static_cast<ConnectionReader*>(self);
        ReadToEnd(me.socket, 15000, 0, &me.stream, 1u << 20);
        return 0;
    }

    SOCKET socket;
    std::vector<unsigned char> stream;
    HANDLE thread = NULL;
};

TEST_F(StartStopCycles, FiveHundredMixedCyclesNeverCloseAHandleTwiceAndAlwaysGiveTheKeyBack)
{
    // A device that keeps sending, one that stays silent (the worker blocks
    // in its read and only Stop wakes it), and a port that does not exist
    // (every client meets a failed open).
    PtyPort talking, silent;
    ASSERT_TRUE(talking.Ready() && silent.Ready());
    talking.KeepSending();
    const std::wstring missing = UnusedComPort();

    std::mt19937 generator(500);
    auto pick = [&](int n) { return static_cast<int>(generator() % n); };
    int brokenStreams = 0;
    std::string firstBreak;
    std::vector<std::string> faults;
    auto check = [&](const std::string& what, const unsigned char* data, size_t size) {
        const std::string broken = BreakInKeepSendingStream(data, size);
        if (!broken.empty() && ++brokenStreams == 1) firstBreak = what + ": " + broken;
    };

    // One Start/Stop cycle; false when its worker did not end after Stop.
    auto cycle = [&](int index) {
        const int port = pick(10);   // 0-5 talking, 6-7 silent, 8-9 missing
        recording::SelectPort(port <= 5 ? talking.Name() : port <= 7 ? silent.Name() : missing);
        const bool stopAtOnce = pick(10) == 0;
        std::string what = "cycle " + std::to_string(index) + " (" +
                           (port <= 5 ? "talking" : port <= 7 ? "silent" : "missing") + " port";
        PressStart(!stopAtOnce);
        if (HasFatalFailure()) return false;

        std::vector<SOCKET> afterStop;
        std::unique_ptr<ConnectionReader> reader;
        if (!stopAtOnce) {
            // Clients one after the other: some take a few bytes and leave,
            // some leave at once; the last may stay through Stop.
            const int passing = pick(3);
            what += ", " + std::to_string(passing) + " passing client(s)";
            for (int c = 0; c < passing; ++c) {
                SOCKET s = ConnectLoopback(tcpPort_);
                if (s == INVALID_SOCKET) {
                    faults.push_back(what + "): connect refused while running");
                    continue;
                }
                if (pick(2) == 0) {
                    std::vector<unsigned char> bytes(1 + pick(2048));
                    size_t got = ReceiveExactly(s, bytes.data(), bytes.size(), port <= 5 ? 10000 : 20);
                    if (port <= 5 && got != bytes.size()) {
                        faults.push_back(what + "): a reader got " + std::to_string(got) + " of " +
                                         std::to_string(bytes.size()) + " bytes");
                    }
                    if (port <= 5) check(what + "), a passing reader", bytes.data(), got);
                }
                closesocket(s);
            }
            const int last = pick(3);   // 0 none, 1 reads through Stop, 2 stays without reading
            what += last == 1 ? ", one reading through Stop" : last == 2 ? ", one not reading at Stop" : "";
            if (last != 0) {
                SOCKET s = ConnectLoopback(tcpPort_);
                if (s != INVALID_SOCKET) {
                    afterStop.push_back(s);
                    if (last == 1) reader.reset(new ConnectionReader(s));
                }
            }
            Sleep(pick(15));
        }

        // The reader ends when the worker lets its connection go; the others
        // are closed only after Stop, as the user's application would.
        std::vector<SOCKET> close;
        for (SOCKET s : afterStop) {
            if (!reader || s != afterStop.back()) close.push_back(s);
        }
        what += stopAtOnce ? ", Stop at once)" : ")";
        const size_t eventsBefore = recording::Events().size();
        if (!PressStopAndWait(close)) {
            // A second worker beside this one would make the rest
            // meaningless, so the run ends here.
            faults.push_back(what + ": the worker was still running 10 s after Stop, leaving the key greyed; "
                             "the last events, up to Stop and after it:\n" +
                             recording::Dump(eventsBefore > 12 ? eventsBefore - 12 : 0));
            if (reader) closesocket(afterStop.back());
            return false;
        }
        if (reader) {
            reader->Join();
            closesocket(afterStop.back());
            if (port <= 5) check(what + ", the reader through Stop", reader->stream.data(), reader->stream.size());
        }

        const std::string notIdle = WhyNotIdle();
        if (!notIdle.empty()) faults.push_back(what + ": " + notIdle);
        return true;
    };

    for (int i = 0; i < 30; ++i) {
        if (!cycle(-1 - i)) break;
    }
    ASSERT_TRUE(faults.empty()) << faults.front();
    const long baseline = MostOf(CountProcessHandles);
    ASSERT_GT(baseline, 0);
    long fewest = baseline, most = baseline;
    int belowAt = -1;

    const auto start = std::chrono::steady_clock::now();
    int done = 0;
    bool allEnded = true;
    for (; done < 500 && !HasFatalFailure() && faults.size() < 20; ++done) {
        if (!cycle(done)) {
            allEnded = false;
            break;
        }
        const long handles = CountProcessHandles();
        if (handles < fewest) fewest = handles;
        if (handles > most) most = handles;
        if (handles < baseline && belowAt < 0) belowAt = done;
    }
    const double seconds = SecondsSince(start);
    for (const auto& fault : faults) ADD_FAILURE() << fault;
    if (!allEnded) return;   // the stuck worker still holds its handles
    const long after = SettledTo(CountProcessHandles, baseline);
    std::printf("cycles: %d in %.1f s; handles: baseline %ld, range %ld..%ld, after %ld\n", done, seconds,
                baseline, fewest, most, after);

    EXPECT_EQ(0, brokenStreams) << "the first: " << firstBreak;
    EXPECT_EQ(-1, belowAt) << "fewer handles than at rest: one was closed that was not ours to close (cycle "
                           << belowAt << ")";
    EXPECT_LE(after, baseline) << "handles left behind";
    EXPECT_EQ(0, recording::Count(L"in:Close failed: 6")) << "a serial handle was closed twice";
    for (const auto& e : recording::Events()) {
        if (e.find(L"Close failed") != std::wstring::npos) {
            ADD_FAILURE() << std::string(e.begin(), e.end());
            break;
        }
    }
    EXPECT_EQ("", WhyNotIdle());
}

}  // namespace
