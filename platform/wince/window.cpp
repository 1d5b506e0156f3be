#include "platform/shell.h"

// The lowest bit of the handle asks the handset to bring the windows it
// owns forward as well, so a message box left open comes back with it.
void PlatformBringForward(HWND window)
{
    SetForegroundWindow((HWND)((ULONG_PTR)window | 1));
}
