// The few places where the handset and desktop Windows part ways.
// platform/wince/ holds the handset's side, platform/desktop/ the stand-ins
// that let the same program run and be tested on desktop Windows and Wine.
#ifndef VELMORA_PLATFORM_H
#define VELMORA_PLATFORM_H

#include <winsock2.h>
#include <windows.h>

// The handset's registry calls insist on an access mask of 0. Desktop
// Windows accepts 0 when opening but then refuses every value read and
// write on that key, so there the masks must say what is meant.
#ifdef _WIN32_WCE
const REGSAM kRegistryReadAccess = 0;
const REGSAM kRegistryWriteAccess = 0;
#else
const REGSAM kRegistryReadAccess = KEY_READ;
const REGSAM kRegistryWriteAccess = KEY_WRITE;
#endif

// Makes a send that another thread is waiting in on `s` fail; Stop calls
// it just before it closes `s`. On the handset closing the socket does
// that by itself. Under Wine it does not: such a send waits on until the
// peer reads or goes.
#ifdef _WIN32_WCE
inline void PlatformEndSend(SOCKET) {}
#else
void PlatformEndSend(SOCKET s);
#endif

#endif
