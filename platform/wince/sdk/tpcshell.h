/* The Smartphone's own shell additions: Windows Mobile reference, "SHSendBackToFocusWindow"
   (Smartphone 2002 and later, header tpcshell.h, library aygshell.lib). */
#ifndef VELMORA_SDK_TPCSHELL_H
#define VELMORA_SDK_TPCSHELL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The Back key, as WM_HOTKEY reports it once the window has taken it over. */
#define VK_TBACK    VK_ESCAPE

void SHSendBackToFocusWindow(UINT uMsg, WPARAM wp, LPARAM lp);

#ifdef __cplusplus
}
#endif

#endif
