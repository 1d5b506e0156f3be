// Desktop stand-ins for the two Smartphone shell calls the main window
// makes, with the handset's names and fields. The handset build takes the
// real ones from aygshell.h instead.
#ifndef VELMORA_DESKTOP_SHELL_H
#define VELMORA_DESKTOP_SHELL_H

#include <windows.h>

#define SHIDIM_FLAGS                0x0001
#define SHIDIF_SIZEDLGFULLSCREEN    0x0004

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

// Taking a hardware key over from the soft-key bar: the key then reaches
// the bar's owner as WM_HOTKEY, HIWORD(lParam) the key.
#define SHCMBM_OVERRIDEKEY          (WM_USER + 403)
#define SHMBOF_NODEFAULT            0x00000001
#define SHMBOF_NOTIFY               0x00000002
#define VK_TBACK                    VK_ESCAPE
// In LOWORD(lParam) of such a WM_HOTKEY: the key was released.
#define MOD_KEYUP                   0x1000

// The handset's screen, which a full-screen dialog fills.
const int kHandsetScreenWidth = 176;
const int kHandsetScreenHeight = 220;

// With SHIDIF_SIZEDLGFULLSCREEN, gives the dialog a client area of the
// handset's screen size. Also makes each up-down control whose buddy is a
// list box step through the list as the handset's spinner does.
BOOL SHInitDialog(PSHINITDLGINFO info);

// Builds the soft-key bar described by RCDATA resource `nToolBarId` as a
// toolbar along the bottom of `hwndParent`, one text button per key; the
// buttons' commands reach the parent as WM_COMMAND. Fills `hwndMB`.
// The bar also answers SHCMBM_OVERRIDEKEY with the key's previous
// override bits, as the handset's does; the desktop has no Back key to
// take over.
BOOL SHCreateMenuBar(PSHMENUBARINFO info);

// Hands a Back key that the window took over (a WM_HOTKEY) to the control
// with the focus: a press deletes the character before the caret, as
// backspace does; the release does nothing.
void SHSendBackToFocusWindow(UINT message, WPARAM wParam, LPARAM lParam);

// Back's own meaning, returning to the previous application. The desktop
// has none to return to, so the window with the focus is minimised.
void SHNavigateBack();

#endif
