/* Common controls: Windows CE 5.0 reference, "Common Controls" (toolbar, up-down). */
#ifndef VELMORA_SDK_COMMCTRL_H
#define VELMORA_SDK_COMMCTRL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_BAR_CLASSES         0x00000004
#define ICC_UPDOWN_CLASS        0x00000010

BOOL WINAPI InitCommonControlsEx(LPINITCOMMONCONTROLSEX lpInitCtrls);

typedef struct {
    UINT cbSize;
    DWORD dwMask;
    int idCommand;
    int iImage;
    BYTE fsState;
    BYTE fsStyle;
    WORD cx;
    DWORD lParam;
    LPWSTR pszText;
    int cchText;
} TBBUTTONINFOW;

#define TB_GETBUTTONINFOW       (WM_USER + 63)
#define TB_SETBUTTONINFOW       (WM_USER + 64)
#define TBIF_TEXT               0x00000002
#define TBIF_STATE              0x00000004
#define TBSTATE_ENABLED         0x04
#define TBSTATE_INDETERMINATE   0x10

#ifdef __cplusplus
}
#endif

#endif
