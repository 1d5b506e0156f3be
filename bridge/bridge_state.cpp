#include "bridge/bridge_state.h"

BridgeState g_bridge = {
    INVALID_HANDLE_VALUE,
    INVALID_HANDLE_VALUE,
    INVALID_SOCKET,
    0,
    NULL,
    NULL,
    NULL,
    INVALID_SOCKET,
};

// Every exchange on the record is made here, with the targets typed as the
// handset declares them (PVOID*, LPLONG): its compilers refuse the volatile
// targets that desktop Windows accepts. Its pointer exchange is a macro
// over InterlockedExchange, so a store drops the old value explicitly.

HANDLE TakeHandle(HANDLE* slot)
{
    return InterlockedExchangePointer(slot, INVALID_HANDLE_VALUE);
}

// A SOCKET is an unsigned integer of pointer width, so the pointer
// exchange moves it whole.
SOCKET TakeSocket(SOCKET* slot)
{
    return (SOCKET)InterlockedExchangePointer((PVOID*)slot, (PVOID)INVALID_SOCKET);
}

void StoreHandle(HANDLE* slot, HANDLE value)
{
    (void)InterlockedExchangePointer(slot, value);
}

void StoreSocket(SOCKET* slot, SOCKET value)
{
    (void)InterlockedExchangePointer((PVOID*)slot, (PVOID)value);
}

void SetRunning(LONG value)
{
    InterlockedExchange(&g_bridge.running, value);
}
