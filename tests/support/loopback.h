// Loopback TCP clients for the tests: the applications that read the stream.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <vector>

void StartSockets();
// The port a socket is bound to, in host order.
unsigned short BoundPort(SOCKET s);
// 127.0.0.1:`port` (0: a port of the system's choosing).
sockaddr_in LoopbackAddress(unsigned short port);
// A loopback port nothing listens on right now (one the system handed out).
unsigned short FreeLoopbackPort();
// A socket listening on a loopback port of the system's choosing, or
// INVALID_SOCKET; with `exclusive` no other socket can bind that port, not
// even one that asks to reuse it.
SOCKET ListenLoopback(bool exclusive = false);
// Connects to 127.0.0.1:`port`; a non-zero `receiveBuffer` shrinks the
// client's receive window before connecting.
SOCKET ConnectLoopback(unsigned short port, int receiveBuffer = 0);
// Receives exactly `size` bytes, on a non-blocking socket too, unless the
// peer closes, an error occurs or `timeoutMs` passes without data; returns
// what arrived.
size_t ReceiveExactly(SOCKET s, void* data, size_t size, int timeoutMs = 10000);
// Receives whatever arrives within `waitMs`: the byte count, or -1 when the
// peer closed the connection (0 bytes, end of stream).
long ReceiveFor(SOCKET s, int waitMs);
// True when `s` can be read (with `writing`, written) within `timeoutMs`;
// the socket is left as it was, so it may be non-blocking.
bool WaitReady(SOCKET s, int timeoutMs, bool writing = false);
// Reads until the peer ends the connection (true), or until `silenceMs`
// pass without a byte, `limitMs` pass in all (0: no limit) or an error
// occurs (false). What arrives is added to `kept` while it holds fewer
// than `keep` bytes.
bool ReadToEnd(SOCKET s, int silenceMs, int limitMs = 0, std::vector<unsigned char>* kept = nullptr,
               size_t keep = 0);
