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
BOOL SHCreateMenuBar(PSHMENUBARINFO info);

#endif
