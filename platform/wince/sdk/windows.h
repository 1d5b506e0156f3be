/*
 * The handset's Windows declarations: exactly what Velmora uses, each in the
 * form the Windows CE .NET 4.2 SDK (Smartphone 2003) declares it for a
 * 32-bit target. Only scripts/handset-check.sh reads this folder; the
 * handset's real build takes the SDK's own headers. Add a declaration here
 * only when the program starts to use it, and copy it from the reference:
 * this folder exists to make a call that the handset lacks, or declares
 * differently, fail to compile.
 */
#ifndef VELMORA_SDK_WINDOWS_H
#define VELMORA_SDK_WINDOWS_H

#include <stddef.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* windef.h, winnt.h, basetsd.h: Windows CE 5.0 reference, "Windows Data Types".
   That page names WINAPI and CALLBACK without their value; the platform's calling
   convention on Windows CE is __cdecl ("CallingConvention Enumeration", Winapi:
   "on Windows CE.NET it is Cdecl"), so a __stdcall declaration fails to match. */
#define WINAPI      __cdecl
#define CALLBACK    __cdecl
#define CONST       const
#define FALSE       0
#define TRUE        1

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef unsigned int UINT;
typedef wchar_t WCHAR;
typedef void* PVOID;
typedef void* LPVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef int INT_PTR;
typedef unsigned long ULONG_PTR;
typedef ULONG_PTR SIZE_T;
typedef UINT WPARAM;
typedef LONG LPARAM;
typedef LONG LRESULT;
typedef DWORD COLORREF;

typedef PVOID HANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__* HRSRC;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;

#define MAXDWORD    0xffffffff
#define LOWORD(l)   ((WORD)(l))
#define HIWORD(l)   ((WORD)(((DWORD)(l) >> 16) & 0xFFFF))
#define MAKELONG(a, b)  ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
#define MAKELPARAM(l, h)    ((LPARAM)MAKELONG(l, h))
#define RtlZeroMemory(Destination, Length) memset((Destination), 0, (Length))
#define ZeroMemory RtlZeroMemory

/* winerror.h: Windows CE 5.0 reference, "System Error Codes". */
#define ERROR_SUCCESS               0L
#define ERROR_FILENAME_EXCED_RANGE  206L

/* winbase.h: Windows CE 5.0 reference, Core OS (file I/O, threads, memory, resources). */
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;
typedef struct _FILETIME* PFILETIME;
typedef DWORD (WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

#define INVALID_HANDLE_VALUE    ((HANDLE)-1)
#define GENERIC_READ            0x80000000L
#define OPEN_EXISTING           3
#define LPTR                    0x0040  /* LMEM_FIXED | LMEM_ZEROINIT */

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
BOOL WINAPI CloseHandle(HANDLE hObject);
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
void WINAPI Sleep(DWORD dwMilliseconds);
/* "GetTickCount (Windows CE 5.0)": subtracting two counts is safe across the wrap. */
DWORD WINAPI GetTickCount(void);
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpsa, DWORD cbStack,
                           LPTHREAD_START_ROUTINE lpStartAddr, LPVOID lpvThreadParam,
                           DWORD fdwCreate, LPDWORD lpIDThread);
LONG WINAPI InterlockedExchange(LPLONG Target, LONG Value);
/* "InterlockedExchangePointer (Windows CE 5.0)" gives Winbase.h and Coredll.lib: the
   header makes it a macro over InterlockedExchange, which is what coredll exports. */
#define InterlockedExchangePointer(Target, Value) \
    ((PVOID)InterlockedExchange((PLONG)(Target), (LONG)(Value)))
/* Serial communications: Windows CE 5.0 reference, "COMMTIMEOUTS", "GetCommTimeouts",
   "SetCommTimeouts". */
typedef struct _COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
/* "COMSTAT", "ClearCommError" (Windows CE 5.0): lpStat may be NULL, and then no status is
   returned. */
typedef struct _COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
} COMSTAT, *LPCOMSTAT;

BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat);

HLOCAL WINAPI LocalAlloc(UINT uFlags, UINT uBytes);
HLOCAL WINAPI LocalFree(HLOCAL hMem);
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);

/* winuser.h: Windows CE 5.0 reference, GWES (windows, dialogs, messages). */
typedef BOOL (CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct DLGTEMPLATE DLGTEMPLATE;
typedef CONST DLGTEMPLATE* LPCDLGTEMPLATEW;

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define RT_DIALOG           MAKEINTRESOURCEW(5)

#define WM_CLOSE            0x0010
#define WM_NEXTDLGCTL       0x0028
#define WM_INITDIALOG       0x0110
#define WM_COMMAND          0x0111
#define WM_HOTKEY           0x0312
#define WM_USER             0x0400
#define IDOK                1
#define SW_MINIMIZE         6
#define MOD_KEYUP           0x1000
#define VK_ESCAPE           0x1B
#define MB_OK               0x00000000L
#define LB_ERR              (-1)
#define LB_ADDSTRING        0x0180
#define LB_SETCURSEL        0x0186
#define LB_GETCURSEL        0x0188
#define LB_GETTEXT          0x0189
#define LB_GETTEXTLEN       0x018A
#define LB_FINDSTRING       0x018F

int WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate,
                                   HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam);
BOOL WINAPI EndDialog(HWND hDlg, int nResult);
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned);
UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned);
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
BOOL WINAPI SetForegroundWindow(HWND hWnd);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
HWND WINAPI GetFocus(void);

/* winreg.h: Windows CE 5.0 reference, "Registry Functions". */
typedef DWORD REGSAM;

#define HKEY_LOCAL_MACHINE  ((HKEY)(ULONG_PTR)0x80000002)
#define REG_SZ              1
#define REG_BINARY          3
#define REG_DWORD           4

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult);
LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition);
LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData);
LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcbClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime);
LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcbName,
                          LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcbClass,
                          PFILETIME lpftLastWriteTime);
/* "RegFlushKey (Windows CE 5.0)". */
LONG WINAPI RegFlushKey(HKEY hKey);
LONG WINAPI RegCloseKey(HKEY hKey);

#ifdef __cplusplus
}
#endif

#endif
