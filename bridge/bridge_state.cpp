#include "bridge/bridge_state.h"

BridgeState g_bridge = {
    INVALID_HANDLE_VALUE,
    INVALID_HANDLE_VALUE,
    INVALID_SOCKET,
    0,
    NULL,
    NULL,
    NULL,
};

HANDLE TakeHandle(HANDLE volatile* slot)
{
    return InterlockedExchangePointer((PVOID volatile*)slot, INVALID_HANDLE_VALUE);
}

// A SOCKET is an unsigned integer of pointer width, so the pointer
// exchange moves it whole.
SOCKET TakeSocket(SOCKET volatile* slot)
{
    return (SOCKET)InterlockedExchangePointer((PVOID volatile*)slot,
                                              (PVOID)INVALID_SOCKET);
}
