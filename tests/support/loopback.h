// Loopback TCP clients for the tests: the applications that read the stream.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <vector>

void StartSockets();
// The port a socket is bound to, in host order.
unsigned short BoundPort(SOCKET s);
// A loopback port nothing listens on right now (one the system handed out).
unsigned short FreeLoopbackPort();
// Connects to 127.0.0.1:`port`; a non-zero `receiveBuffer` shrinks the
// client's receive window before connecting.
SOCKET ConnectLoopback(unsigned short port, int receiveBuffer = 0);
// Receives exactly `size` bytes unless the peer closes, an error occurs or
// `timeoutMs` passes without data; returns what arrived.
size_t ReceiveExactly(SOCKET s, void* data, size_t size, int timeoutMs = 10000);
// Receives whatever arrives within `waitMs`: the byte count, or -1 when the
// peer closed the connection (0 bytes, end of stream).
long ReceiveFor(SOCKET s, int waitMs);
