#ifndef VELMORA_LISTENER_H
#define VELMORA_LISTENER_H

#include <winsock2.h>

// Opens the one listening socket of a bridge run on 127.0.0.1:`port`
// (its 16 bits taken unsigned). Shows "Listening..." or the failure on the
// output line; returns the socket or INVALID_SOCKET.
SOCKET OpenListener(short port);

#endif
