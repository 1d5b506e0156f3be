#include "ui/main_window.h"

#include "bridge/bridge_state.h"
#include "bridge/controller.h"
#include "discovery/port_discovery.h"
#include "platform/shell.h"
#include "settings/settings.h"
#include "ui/resources/resource.h"

namespace {

// The remembered name is read into 16 bytes, not 16 characters: room for
// seven characters, which every COM port name of the handset fits.
const DWORD kSavedNameBytes = 16;

BOOL InitMainWindow(HWND window)
{
    g_bridge.mainWindow = window;

    SHINITDLGINFO screen;
    ZeroMemory(&screen, sizeof screen);
    screen.dwMask = SHIDIM_FLAGS;
    screen.hDlg = window;
    screen.dwFlags = SHIDIF_SIZEDLGFULLSCREEN;
    SHInitDialog(&screen);

    // Without the bar the key operations have no target, and nothing says so.
    SHMENUBARINFO bar;
    ZeroMemory(&bar, sizeof bar);
    bar.cbSize = kMenuBarInfoSize;
    bar.hwndParent = window;
    bar.nToolBarId = IDR_MENUBAR;
    bar.hInstRes = g_bridge.instance;
    if (SHCreateMenuBar(&bar)) {
        g_bridge.menuBar = bar.hwndMB;
        // On a Smartphone, Back is backspace in an edit control only when
        // the window takes the key over from its bar; it then arrives here
        // as WM_HOTKEY.
        LPARAM takeOver = MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY);
        SendMessageW(bar.hwndMB, SHCMBM_OVERRIDEKEY, VK_TBACK, takeOver);
    }

    HWND list = GetDlgItem(window, IDC_PORT_LIST);
    FillPortList(list);

    DWORD port = 0;
    wchar_t name[kPortNameChars];
    ZeroMemory(name, sizeof name);
    LoadSettings(&port, name, kSavedNameBytes);

    // The list's own prefix search, case-blind: "COM2" finds "COM20" when
    // there is no "COM2". An empty list keeps no selection.
    LRESULT found = SendMessageW(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM)name);
    SendMessageW(list, LB_SETCURSEL, found == LB_ERR ? 0 : (WPARAM)found, 0);

    // Posted: the dialog manager sets the first focus after this returns.
    PostMessageW(window, WM_NEXTDLGCTL, (WPARAM)list, TRUE);

    // Unsigned, as the field is read back at each Start.
    SetDlgItemInt(window, IDC_TCP_PORT, port, FALSE);
    PlatformAskForDigits(GetDlgItem(window, IDC_TCP_PORT));
    return TRUE;
}

// Back edits the port field. Anywhere else it keeps the meaning it has
// on every Smartphone screen, which the shell no longer gives it once the
// window has taken the key over: back to the previous application. The
// bridge goes on.
void OnBackKey(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (GetFocus() == GetDlgItem(window, IDC_TCP_PORT)) {
        SHSendBackToFocusWindow(message, wParam, lParam);
    } else if (!(LOWORD(lParam) & MOD_KEYUP)) {
        SHNavigateBack();
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return InitMainWindow(window);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // Out of sight only; the bridge goes on in the background.
            ShowWindow(window, SW_MINIMIZE);
            return TRUE;
        case IDM_TOGGLE:
            ToggleBridge();
            return TRUE;
        }
        return FALSE;
    case WM_HOTKEY:
        if (HIWORD(lParam) == VK_TBACK) {
            OnBackKey(window, message, wParam, lParam);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        // A running bridge is not stopped: it ends with the process.
        EndDialog(window, 0);
        WSACleanup();
        return TRUE;
    }
    return FALSE;
}
