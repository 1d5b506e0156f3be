// The window side of the platform: the Smartphone shell's dialog and
// soft-key bar calls, and the few window calls that differ between the
// handset and desktop Windows.
#ifndef VELMORA_PLATFORM_SHELL_H
#define VELMORA_PLATFORM_SHELL_H

#include <windows.h>
#include <commctrl.h>

#ifdef _WIN32_WCE
#include <aygshell.h>
#include <tpcshell.h>
#else
#include "platform/desktop/shell.h"
#endif

#ifdef _WIN32_WCE
// The sizes the handset's shell and toolbar know their structures by.
const DWORD kMenuBarInfoSize = 36;
const UINT kButtonInfoSize = 32;
#else
// On desktop x86-64 the handle and pointer fields are 8 bytes wide, so
// both structures are larger than the handset's 36 and 32 bytes, and the
// toolbar ignores a request whose size field it does not recognise.
const DWORD kMenuBarInfoSize = sizeof(SHMENUBARINFO);
const UINT kButtonInfoSize = sizeof(TBBUTTONINFOW);
#endif

// Brings the window of an instance that is already running to the front.
void PlatformBringForward(HWND window);

// Has the keypad type digits into `field`. A Smartphone edit field starts
// in a text mode, where pressing 2 types "a"; the desktop's keyboard types
// digits as they are.
void PlatformAskForDigits(HWND field);

#endif
