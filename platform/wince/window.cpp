#include "platform/shell.h"

#include <winuserm.h>

// The lowest bit of the handle asks the handset to bring the windows it
// owns forward as well, so a message box left open comes back with it.
void PlatformBringForward(HWND window)
{
    SetForegroundWindow((HWND)((ULONG_PTR)window | 1));
}

void PlatformAskForDigits(HWND field)
{
    SendMessageW(field, EM_SETINPUTMODE, 0, EIM_NUMBERS);
}
