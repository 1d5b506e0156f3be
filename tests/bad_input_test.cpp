// Input the program does not control: what another program (or an old
// version) left in the registry, and what arrives over the network.
#include "bridge/bridge_state.h"
#include "bridge/controller.h"
#include "settings/settings.h"
#include "support/key_driven.h"
#include "support/loopback.h"
#include "support/recording_sink.h"
#include "support/registry.h"
#include "support/stream_pattern.h"

#include <gtest/gtest.h>
#include <iphlpapi.h>
#include <psapi.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const void* data, size_t size)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(p, p + size);
}

std::vector<unsigned char> Text(const std::wstring& text, bool terminated)
{
    return Bytes(text.c_str(), (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

std::vector<unsigned char> Dword(DWORD value) { return Bytes(&value, sizeof value); }

// ---------------------------------------------------------------------------
// Settings: values of the wrong type or size. Each has one defined result,
// and nothing lands outside the buffers the window hands over.

struct Guarded {
    DWORD port;
    unsigned char portGuard[12];
    wchar_t name[kPortNameChars];
    wchar_t nameGuard[8];
};

const unsigned char kGuardByte = 0xA5;

void Fill(Guarded& g)
{
    std::memset(&g, kGuardByte, sizeof g);
    g.port = 0xDEADBEEF;
    std::memset(g.name, 0, sizeof g.name);   // the window zero-fills it
}

bool GuardsIntact(const Guarded& g)
{
    auto intact = [](const void* guard, size_t size) {
        const unsigned char* bytes = static_cast<const unsigned char*>(guard);
        return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == kGuardByte; });
    };
    return intact(g.portGuard, sizeof g.portGuard) && intact(g.nameGuard, sizeof g.nameGuard);
}

// Each case starts and ends with no settings key.
template <typename Case>
class SettingsTable : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey); }
};

struct PortValueCase {
    const char* proves;
    DWORD type;
    std::vector<unsigned char> data;
    DWORD port;
};

using TcpPortValue = SettingsTable<PortValueCase>;

TEST_P(TcpPortValue, GivesItsDefinedPortAndWritesNothingElse)
{
    const PortValueCase& c = GetParam();
    StoreValue(kSettingsKey, L"TcpPort", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    Guarded g;
    Fill(g);
    LoadSettings(&g.port, g.name, 16);
    EXPECT_EQ(c.port, g.port);
    EXPECT_STREQ(L"COM2", g.name);
    EXPECT_TRUE(GuardsIntact(g));
}

// 20175 is 0x4ECF: a short value replaces only the low bytes of it, and only
// the low 16 bits of whatever results are a port.
const PortValueCase kPortValues[] = {
    {"StringOfFourBytesKeepsTheDefault", REG_SZ, Text(L"1", true), 20175},
    {"ExpandableStringKeepsTheDefault", REG_EXPAND_SZ, Text(L"1", true), 20175},
    {"MultiStringKeepsTheDefault", REG_MULTI_SZ, {'8', 0, 0, 0}, 20175},
    {"BigEndianDwordKeepsTheDefault", REG_DWORD_BIG_ENDIAN, {0, 0, 0x1F, 0x90}, 20175},
    {"UntypedFourBytesKeepTheDefault", REG_NONE, Dword(8080), 20175},
    {"QwordKeepsTheDefault", REG_QWORD, {0x90, 0x1F, 0, 0, 0, 0, 0, 0}, 20175},
    {"EmptyDwordKeepsTheDefault", REG_DWORD, {}, 20175},
    {"EmptyBinaryKeepsTheDefault", REG_BINARY, {}, 20175},
    {"OneByteReplacesOnlyTheLowByte", REG_BINARY, {0x05}, 0x4E05},
    {"OneByteDwordReplacesOnlyTheLowByte", REG_DWORD, {0x05}, 0x4E05},
    {"TwoBytesReplaceTheWholePort", REG_BINARY, {0x90, 0x1F}, 8080},
    {"ThreeBytesKeepOnlyTheLowSixteenBits", REG_BINARY, {0x01, 0x02, 0x03}, 0x0201},
    {"FourByteDwordIsThePort", REG_DWORD, Dword(8080), 8080},
    {"FourByteBinaryIsThePort", REG_BINARY, Dword(8080), 8080},
    {"ZeroIsKeptAsZero", REG_DWORD, Dword(0), 0},
    {"SignWidenedHighPortReadsAsThePort", REG_DWORD, Dword(0xFFFF9C40), 40000},
    {"UpperSixteenBitsAreNotPartOfThePort", REG_DWORD, Dword(0x00010050), 80},
    {"FiveBytesKeepTheDefault", REG_BINARY, {0x90, 0x1F, 0, 0, 0}, 20175},
    {"FourKibibytesKeepTheDefault", REG_BINARY, std::vector<unsigned char>(4096, 0x11), 20175},
};

INSTANTIATE_TEST_SUITE_P(SettingsBadInput, TcpPortValue, ::testing::ValuesIn(kPortValues),
                         [](const ::testing::TestParamInfo<PortValueCase>& info) { return info.param.proves; });

struct NameValueCase {
    const char* proves;
    DWORD type;
    std::vector<unsigned char> data;
    DWORD room;   // bytes offered; the window offers 16
    const wchar_t* name;
};

using SerialPortValue = SettingsTable<NameValueCase>;

TEST_P(SerialPortValue, GivesItsDefinedNameAndWritesNothingPastTheBuffer)
{
    const NameValueCase& c = GetParam();
    StoreValue(kSettingsKey, L"SerialPort", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    Guarded g;
    Fill(g);
    LoadSettings(&g.port, g.name, c.room);
    EXPECT_STREQ(c.name, g.name);
    EXPECT_EQ(20175u, g.port);
    EXPECT_TRUE(GuardsIntact(g)) << "written past the 16-character name buffer";
}

std::vector<unsigned char> Concat(std::vector<unsigned char> a, const std::vector<unsigned char>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const NameValueCase kNameValues[] = {
    {"EmptyValueGivesTheEmptyName", REG_SZ, {}, 16, L""},
    {"EmptyStringGivesTheEmptyName", REG_SZ, Text(L"", true), 16, L""},
    {"UnterminatedShortNameIsTakenWhole", REG_SZ, Text(L"COM7", false), 16, L"COM7"},
    {"UnterminatedNameKeepsNothingOfTheDefault", REG_SZ, Text(L"AB", false), 16, L"AB"},
    {"EmbeddedTerminatorEndsTheName", REG_SZ, Concat(Text(L"COM3", true), Text(L"X", true)), 16, L"COM3"},
    {"SevenCharactersAndTerminatorFillTheRoomExactly", REG_SZ, Text(L"COM1234", true), 16, L"COM1234"},
    {"EightUnterminatedCharactersFillingTheRoomAreTakenWhole", REG_SZ, Text(L"COM12345", false), 16, L"COM12345"},
    {"EightCharactersAndTerminatorBeyondTheRoomKeepTheDefault", REG_SZ, Text(L"COM12345", true), 16, L"COM2"},
    {"FifteenCharactersBeyondTheRoomKeepTheDefault", REG_SZ, Text(L"COM123456789012", true), 16, L"COM2"},
    {"LongStringKeepsTheDefault", REG_SZ, Text(std::wstring(300, L'C'), true), 16, L"COM2"},
    {"DwordKeepsTheDefault", REG_DWORD, Dword(0x004D4F43), 16, L"COM2"},
    {"ExpandableStringKeepsTheDefault", REG_EXPAND_SZ, Text(L"COM3", true), 16, L"COM2"},
    {"MultiStringKeepsTheDefault", REG_MULTI_SZ, Concat(Text(L"COM3", true), Text(L"", true)), 16, L"COM2"},
    {"BinaryKeepsTheDefault", REG_BINARY, Text(L"COM3", true), 16, L"COM2"},
    {"WholeBufferRoomTakesFifteenCharacters", REG_SZ, Text(L"COM123456789012", true), 32, L"COM123456789012"},
    {"WholeBufferRoomRefusesSixteenUnterminated", REG_SZ, Text(L"COM1234567890123", false), 32, L"COM2"},
    {"RoomOfferedBeyondTheBufferIsCutToIt", REG_SZ, Text(L"COM12345678901234567", true), 64, L"COM2"},
};

INSTANTIATE_TEST_SUITE_P(SettingsBadInput, SerialPortValue, ::testing::ValuesIn(kNameValues),
                         [](const ::testing::TestParamInfo<NameValueCase>& info) { return info.param.proves; });

// ---------------------------------------------------------------------------
// Network: who can reach the listener, and what a client's own bytes do.

// Runs the bridge through the key on a port of the system's choosing, with
// a device that keeps sending. It is stopped once the worker is back in
// accept with every connection ended; Stop in the middle of one is what the
// Start/Stop cycles test is about.
template <typename Case>
class RunningBridge : public KeyDriven, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        KeyDriven::SetUp();
        StartWithDevice();
    }

    void TearDown() override
    {
        recording::WaitForWorkerAwaitingClient(5000);
        KeyDriven::TearDown();
    }
};

// Connects without waiting for ever: "connected", "refused", "no answer" or the error.
std::string TryConnect(const in_addr& address, unsigned short port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in to = LoopbackAddress(port);
    to.sin_addr = address;
    int error = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ? 0 : WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = {3, 0};
        const int ready = select(0, NULL, &writable, &failed, &limit);
        error = ready == 0 ? WSAETIMEDOUT : 0;
        if (ready != 0 && !FD_ISSET(s, &writable)) {
            int length = sizeof error;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        }
    }
    closesocket(s);
    if (error == WSAETIMEDOUT) return "no answer";
    return error == 0 ? "connected" : error == WSAECONNREFUSED ? "refused" : "error " + std::to_string(error);
}

in_addr Address(const char* dotted)
{
    in_addr a = {};
    a.s_addr = inet_addr(dotted);
    return a;
}

// The IPv4 addresses of this machine's interfaces, loopback left out.
std::vector<in_addr> MachineAddresses()
{
    std::vector<in_addr> found;
    ULONG size = 64 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, NULL, adapters, &size) !=
        NO_ERROR) {
        return found;
    }
    for (auto* a = adapters; a; a = a->Next) {
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (u->Address.lpSockaddr->sa_family != AF_INET) continue;
            in_addr address = reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr;
            if ((ntohl(address.s_addr) >> 24) != 127) found.push_back(address);
        }
    }
    return found;
}

struct AddressCase {
    const char* proves;
    std::vector<in_addr> (*addresses)();
    const char* outcome;
};

using ListenerAddress = RunningBridge<AddressCase>;

TEST_P(ListenerAddress, AnswersAsTheTableSays)
{
    const AddressCase& c = GetParam();
    const std::vector<in_addr> addresses = c.addresses();
    if (addresses.empty()) GTEST_SKIP() << "this machine has no address of that kind";
    for (const in_addr& a : addresses) {
        const std::string outcome = TryConnect(a, tcpPort_);
        std::printf("%s:%u %s\n", inet_ntoa(a), tcpPort_, outcome.c_str());
        EXPECT_EQ(c.outcome, outcome) << inet_ntoa(a) << ":" << tcpPort_;
    }
}

const AddressCase kAddresses[] = {
    {"LoopbackAddressIsServed", [] { return std::vector<in_addr>{Address("127.0.0.1")}; }, "connected"},
    {"AnotherLoopbackAddressIsRefused", [] { return std::vector<in_addr>{Address("127.0.0.2")}; }, "refused"},
    {"EveryOtherAddressOfThisMachineIsRefused", MachineAddresses, "refused"},
};

INSTANTIATE_TEST_SUITE_P(NetworkBadInput, ListenerAddress, ::testing::ValuesIn(kAddresses),
                         [](const ::testing::TestParamInfo<AddressCase>& info) { return info.param.proves; });

// What a client sends must change nothing: not its own stream, not the next
// client's, and not the program's memory (nothing it sends is read).

// The process's private memory in use. Wine reports it as PagefileUsage
// (pages actually touched) and leaves PrivateUsage at 0.
size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

enum class Sends { Flood, ControlBytes, Urgent, Nothing };

struct ClientInputCase {
    const char* proves;
    Sends sends;
    bool readsMeanwhile;   // else it only sends, then leaves without reading
    bool halfCloses;       // shuts its sending side first
};

using ClientInput = RunningBridge<ClientInputCase>;

// Bytes that never come from the device (it sends only 0 to 250), so any
// that leaked into a stream would break its pattern.
const unsigned char kForeign = 0xFF;

TEST_P(ClientInput, ChangesNothingInTheStreamsOrTheMemory)
{
    const ClientInputCase& c = GetParam();
    SOCKET bad = ConnectLoopback(tcpPort_);
    ASSERT_NE(INVALID_SOCKET, bad);
    ASSERT_TRUE(recording::WaitFor(L"out:Transmitting..."));
    u_long nonBlocking = 1;
    ioctlsocket(bad, FIONBIO, &nonBlocking);

    // Room for everything the device can send meanwhile, touched now so the
    // measurement below sees none of it; the first reads settle the
    // allocator and Wine.
    std::vector<unsigned char> stream(16 << 20, 0xEE);
    size_t got = ReceiveExactly(bad, stream.data(), 16384);
    ASSERT_EQ(16384u, got);
    const size_t memoryBefore = PrivateBytes();
    ASSERT_GT(memoryBefore, 0u) << "the system does not say how much memory the process uses";

    std::atomic<bool> sending{true};
    std::atomic<size_t> accepted{0};
    std::thread sender([&] {
        std::vector<unsigned char> junk(64 * 1024, kForeign);
        const char control[] = "AT\r\n+++\x11\x13\x03\x04~.\r\n\xFF\xF4\xFF\xFD\x06";
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 1500) {
            if (!WaitReady(bad, 50, true)) continue;
            int n = SOCKET_ERROR;
            if (c.sends == Sends::Flood) {
                n = send(bad, reinterpret_cast<const char*>(junk.data()), static_cast<int>(junk.size()), 0);
            } else if (c.sends == Sends::ControlBytes) {
                n = send(bad, control, sizeof control - 1, 0);
                Sleep(5);
            } else if (c.sends == Sends::Urgent) {
                n = send(bad, "!", 1, MSG_OOB);
                Sleep(5);
            } else {
                break;
            }
            if (n > 0) accepted += static_cast<size_t>(n);
        }
        sending = false;
    });

    while (sending) {
        if (c.readsMeanwhile && got < stream.size()) {
            got += ReceiveExactly(bad, stream.data() + got, std::min<size_t>(64 * 1024, stream.size() - got), 200);
        } else {
            Sleep(20);
        }
    }
    sender.join();
    if (c.halfCloses) {
        ASSERT_EQ(0, shutdown(bad, SD_SEND));
        // A client that has said all it will say still gets the stream.
        const size_t before = got;
        got += ReceiveExactly(bad, stream.data() + got, 256 * 1024);
        EXPECT_EQ(256u * 1024, got - before) << "the stream stopped after the half-close";
    }
    const size_t memoryAfter = PrivateBytes();
    closesocket(bad);

    std::printf("client sent %zu bytes the program took, got %zu; private memory %zu KiB, then %+lld KiB\n",
                accepted.load(), got, memoryBefore / 1024,
                (static_cast<long long>(memoryAfter) - static_cast<long long>(memoryBefore)) / 1024);
    if (c.sends != Sends::Nothing) EXPECT_GT(accepted.load(), 0u) << "the client could not send at all";
    EXPECT_EQ("", BreakInKeepSendingStream(stream.data(), got));
    if (c.readsMeanwhile) EXPECT_GT(got, 256u * 1024) << "the stream dried up under the client's input";
    // Nothing is read from a client, so what it sends stays in the socket
    // layer's buffers (a few MiB at most even after the system's own
    // growth) and the sender soon has to wait; a program that read and kept
    // it would take loopback speed, hundreds of MiB in 1.5 s.
    EXPECT_LT(accepted.load(), 64u << 20) << "something is draining what the client sends";
    // A program that kept the flood would grow by what it took. The bound
    // leaves room for the test's own first-time costs (the first case in a
    // process grows by about 1 MiB, mostly its sender thread) and Wine's.
    EXPECT_LT(static_cast<long long>(memoryAfter) - static_cast<long long>(memoryBefore), 8ll << 20);

    // The next client is served as if nothing had happened.
    closesocket(ExpectServed(tcpPort_));
}

const ClientInputCase kClientInputs[] = {
    {"FloodWhileReadingLeavesItsStreamWhole", Sends::Flood, true, false},
    {"FloodThenLeavingUnreadSparesTheNextClient", Sends::Flood, false, false},
    {"ModemAndTelnetControlBytesChangeNothing", Sends::ControlBytes, true, false},
    {"UrgentDataChangesNothing", Sends::Urgent, true, false},
    {"HalfClosedClientKeepsGettingTheStream", Sends::Nothing, false, true},
    {"FloodThenHalfCloseKeepsTheStreamComing", Sends::Flood, false, true},
};

INSTANTIATE_TEST_SUITE_P(NetworkBadInput, ClientInput, ::testing::ValuesIn(kClientInputs),
                         [](const ::testing::TestParamInfo<ClientInputCase>& info) { return info.param.proves; });

}  // namespace
