// The program's only window: a modal dialog built from template IDD_MAIN.
#ifndef VELMORA_MAIN_WINDOW_H
#define VELMORA_MAIN_WINDOW_H

#include <windows.h>

// TRUE for a message it handled, FALSE otherwise.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
