// The bridge's status sink carried out on the main window. The worker
// calls these too: each message is then handled by the UI thread while
// the worker waits.
#include "bridge/bridge_state.h"
#include "bridge/status_sink.h"
#include "platform/shell.h"
#include "ui/resources/resource.h"

namespace {

void SetKey(DWORD mask, BYTE state, const wchar_t* text)
{
    TBBUTTONINFOW key;
    ZeroMemory(&key, sizeof key);
    key.cbSize = kButtonInfoSize;
    key.dwMask = mask;
    key.fsState = state;
    key.pszText = const_cast<wchar_t*>(text);
    SendMessageW(g_bridge.menuBar, TB_SETBUTTONINFOW, IDM_TOGGLE, (LPARAM)&key);
}

}  // namespace

void SetInputStatus(const wchar_t* text)
{
    SetDlgItemTextW(g_bridge.mainWindow, IDC_INPUT_STATUS, text);
}

void SetOutputStatus(const wchar_t* text)
{
    SetDlgItemTextW(g_bridge.mainWindow, IDC_OUTPUT_STATUS, text);
}

void SetKeyLabel(const wchar_t* text)
{
    SetKey(TBIF_TEXT, 0, text);
}

// A greyed key issues no command, and ToggleBridge refuses one that
// arrives all the same, which keeps a second Start or Stop out while one
// is under way.
void SetKeyEnabled(bool enabled)
{
    SetKey(TBIF_STATE, enabled ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE, NULL);
}

// Only a bar that answers, and answers greyed, refuses the command. A bar
// that is missing, or a handset whose bar answers this query some other
// way, leaves the state as preset here: were that to read as greyed, the
// program's one key would be dead for good, and nothing would say why.
// The result is not looked at: the handset answers non-zero for success,
// the desktop with the button's index, 0 for this one.
bool IsKeyEnabled()
{
    TBBUTTONINFOW key;
    ZeroMemory(&key, sizeof key);
    key.cbSize = kButtonInfoSize;
    key.dwMask = TBIF_STATE;
    key.fsState = TBSTATE_ENABLED;
    SendMessageW(g_bridge.menuBar, TB_GETBUTTONINFOW, IDM_TOGGLE, (LPARAM)&key);
    return (key.fsState & TBSTATE_ENABLED) != 0;
}

void GetSelectedPort(wchar_t* name)
{
    HWND list = GetDlgItem(g_bridge.mainWindow, IDC_PORT_LIST);
    LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) {
        MessageBoxW(g_bridge.mainWindow, L"No port selected!", L"Error", MB_OK);
        return;
    }
    // LB_GETTEXT knows nothing of the buffer's size. An entry too long for
    // a port name is refused whole rather than cut into another name; the
    // list is filled once, so the length cannot change before the copy.
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length == LB_ERR || length >= kPortNameChars) {
        return;
    }
    SendMessageW(list, LB_GETTEXT, (WPARAM)index, (LPARAM)name);
}

unsigned int GetTcpPortField()
{
    return GetDlgItemInt(g_bridge.mainWindow, IDC_TCP_PORT, NULL, FALSE);
}
