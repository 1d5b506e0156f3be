// Program entry: one instance only, then the main window as a modal
// dialog whose message loop is the program's main loop.
#include "bridge/bridge_state.h"
#include "platform/shell.h"
#include "ui/main_window.h"
#include "ui/resources/resource.h"

#ifdef _WIN32_WCE
typedef LPWSTR CommandLine;
#else
typedef LPSTR CommandLine;
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, CommandLine, int)
{
    // A second start only brings the first one back.
    HWND running = FindWindowW(NULL, L"Velmora");
    if (running != NULL) {
        PlatformBringForward(running);
        return 0;
    }

    g_bridge.instance = instance;

    INITCOMMONCONTROLSEX controls;
    ZeroMemory(&controls, sizeof controls);
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_UPDOWN_CLASS | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    // The template is part of this very program, so it is not checked.
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    HGLOBAL loaded = LoadResource(instance, found);
    DialogBoxIndirectParamW(instance, (LPCDLGTEMPLATEW)LockResource(loaded), NULL,
                            MainDialogProc, 0);

    // A worker still running ends with the process.
    return 0;
}
