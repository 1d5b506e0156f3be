/* The Smartphone shell: Smartphone 2003 SDK reference, "Shell Functions" (SHInitDialog, SHCreateMenuBar). */
#ifndef VELMORA_SDK_AYGSHELL_H
#define VELMORA_SDK_AYGSHELL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

#define SHIDIM_FLAGS                0x0001
#define SHIDIF_SIZEDLGFULLSCREEN    0x0004

BOOL SHInitDialog(PSHINITDLGINFO pshidi);

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
} SHMENUBARINFO;

BOOL SHCreateMenuBar(SHMENUBARINFO* pmbi);

/* Windows Mobile reference, "SHCMBM_OVERRIDEKEY" (Smartphone: Windows Mobile 2003 and later). */
#define SHCMBM_OVERRIDEKEY          (WM_USER + 403)
#define SHMBOF_NODEFAULT            0x00000001
#define SHMBOF_NOTIFY               0x00000002

/* Windows Mobile reference, "SHNavigateBack" (Smartphone 2002 and later): what Back does
   for a window that has not taken the key over, returning to the previous application. */
void SHNavigateBack(void);

#ifdef __cplusplus
}
#endif

#endif
