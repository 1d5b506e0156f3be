#include "platform/shell.h"

// Desktop Windows knows no flag in the handle, so the plain handle goes.
// And where the handset's minimise only sends the window behind the
// others, the desktop iconifies it: it has to be restored to be seen.
void PlatformBringForward(HWND window)
{
    if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
    }
    SetForegroundWindow(window);
}

void PlatformAskForDigits(HWND)
{
}
