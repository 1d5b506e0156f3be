#include "platform/shell.h"

namespace {

// The soft-key bar resource, in 16-bit words: popup menu resource, button
// count, then per button these seven.
const int kBarHeaderWords = 2;
const int kButtonWords = 7;
enum { kImage, kCommand, kState, kStyle, kLabel, kReserved, kPopup };

const int kLabelChars = 64;

bool IsListBox(HWND window)
{
    wchar_t name[16];
    ZeroMemory(name, sizeof name);
    GetClassNameW(window, name, sizeof name / sizeof name[0]);
    return lstrcmpiW(name, L"ListBox") == 0;
}

// The handset's spinner: the arrows select the previous or next entry of
// the sorted list and wrap at both ends. The desktop up-down would instead
// count through its own number range, so each step is taken over here and
// the up-down is told to keep its position.
void StepList(HWND list, bool forward)
{
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        return;
    }
    LRESULT current = SendMessageW(list, LB_GETCURSEL, 0, 0);
    LRESULT next;
    if (current == LB_ERR) {
        next = forward ? 0 : count - 1;
    } else {
        next = (current + (forward ? 1 : count - 1)) % count;
    }
    SendMessageW(list, LB_SETCURSEL, (WPARAM)next, 0);
}

LRESULT CALLBACK SpinnerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR)
{
    if (message == WM_NOTIFY && ((NMHDR*)lParam)->code == UDN_DELTAPOS) {
        NMUPDOWN* change = (NMUPDOWN*)lParam;
        HWND buddy = (HWND)SendMessageW(change->hdr.hwndFrom, UDM_GETBUDDY, 0, 0);
        if (buddy != NULL && IsListBox(buddy)) {
            // The delta is in the range's own direction; the up-down's
            // default range runs from 100 down to 0.
            int low = 0;
            int high = 0;
            SendMessageW(change->hdr.hwndFrom, UDM_GETRANGE32, (WPARAM)&low, (LPARAM)&high);
            bool forward = (high >= low) ? change->iDelta > 0 : change->iDelta < 0;
            StepList(buddy, forward);
            return TRUE;
        }
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(dialog, SpinnerDialogProc, id);
    }
    return DefSubclassProc(dialog, message, wParam, lParam);
}

// The soft-key bar's answer to SHCMBM_OVERRIDEKEY: the override bits of
// each key, so that the previous bits can be given back. The program has
// one bar; the desktop has no hardware key for them to change.
BYTE g_keyOverrides[256];

LRESULT CALLBACK MenuBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                             DWORD_PTR)
{
    if (message == SHCMBM_OVERRIDEKEY && wParam < sizeof g_keyOverrides) {
        BYTE before = g_keyOverrides[wParam];
        BYTE mask = (BYTE)LOWORD(lParam);
        g_keyOverrides[wParam] = (BYTE)((before & ~mask) | (HIWORD(lParam) & mask));
        return before;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(bar, MenuBarProc, id);
    }
    return DefSubclassProc(bar, message, wParam, lParam);
}

}  // namespace

BOOL SHInitDialog(PSHINITDLGINFO info)
{
    if (info == NULL || !IsWindow(info->hDlg)) {
        return FALSE;
    }
    HWND dialog = info->hDlg;
    if ((info->dwMask & SHIDIM_FLAGS) && (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN)) {
        RECT frame = { 0, 0, kHandsetScreenWidth, kHandsetScreenHeight };
        AdjustWindowRectEx(&frame, (DWORD)GetWindowLongPtrW(dialog, GWL_STYLE), FALSE,
                           (DWORD)GetWindowLongPtrW(dialog, GWL_EXSTYLE));
        SetWindowPos(dialog, NULL, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return SetWindowSubclass(dialog, SpinnerDialogProc, 0, 0);
}

BOOL SHCreateMenuBar(PSHMENUBARINFO info)
{
    if (info == NULL || info->cbSize != sizeof(SHMENUBARINFO) || !IsWindow(info->hwndParent)) {
        return FALSE;
    }
    HRSRC found = FindResourceW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId), RT_RCDATA);
    HGLOBAL loaded = found != NULL ? LoadResource(info->hInstRes, found) : NULL;
    const WORD* words = loaded != NULL ? (const WORD*)LockResource(loaded) : NULL;
    DWORD available = found != NULL ? SizeofResource(info->hInstRes, found) / sizeof(WORD) : 0;
    if (words == NULL || available < (DWORD)kBarHeaderWords) {
        return FALSE;
    }
    int buttons = words[1];
    if (available < (DWORD)(kBarHeaderWords + buttons * kButtonWords)) {
        return FALSE;
    }

    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, NULL,
                               WS_CHILD | WS_VISIBLE | CCS_BOTTOM | CCS_NODIVIDER | TBSTYLE_FLAT | TBSTYLE_LIST,
                               0, 0, 0, 0, info->hwndParent, (HMENU)(UINT_PTR)info->nToolBarId,
                               info->hInstRes, NULL);
    if (bar == NULL) {
        return FALSE;
    }
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    for (int i = 0; i < buttons; ++i) {
        const WORD* key = words + kBarHeaderWords + i * kButtonWords;
        // The toolbar keeps its own copy of the label.
        wchar_t label[kLabelChars];
        ZeroMemory(label, sizeof label);
        LoadStringW(info->hInstRes, key[kLabel], label, kLabelChars);
        TBBUTTON button;
        ZeroMemory(&button, sizeof button);
        button.iBitmap = (short)key[kImage];
        button.idCommand = key[kCommand];
        button.fsState = (BYTE)key[kState];
        button.fsStyle = (BYTE)(key[kStyle] | BTNS_SHOWTEXT);
        button.iString = (INT_PTR)label;
        SendMessageW(bar, TB_ADDBUTTONSW, 1, (LPARAM)&button);
    }
    SendMessageW(bar, TB_AUTOSIZE, 0, 0);
    SetWindowSubclass(bar, MenuBarProc, 0, 0);
    info->hwndMB = bar;
    return TRUE;
}

void SHSendBackToFocusWindow(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_HOTKEY || HIWORD(lParam) != VK_TBACK || (LOWORD(lParam) & MOD_KEYUP)) {
        return;
    }
    HWND focus = GetFocus();
    if (focus != NULL) {
        SendMessageW(focus, WM_CHAR, VK_BACK, 1);
    }
}

void SHNavigateBack()
{
    HWND focus = GetFocus();
    HWND window = focus != NULL ? GetAncestor(focus, GA_ROOT) : GetActiveWindow();
    if (window != NULL) {
        ShowWindow(window, SW_MINIMIZE);
    }
}
