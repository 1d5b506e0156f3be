#include "platform/platform.h"

// Cancelling is what ends a send that waits; shutting the socket down
// first makes a send that begins between the two calls fail at once.
void PlatformEndSend(SOCKET s)
{
    shutdown(s, SD_BOTH);
    CancelIoEx((HANDLE)s, NULL);
}
