#include "app/list_window.h"
#include <commctrl.h>
#include "app/app_state.h"
#include "app/window_placement.h"
#include "core/background_jobs.h"
#include "app/program_icons.h"
#include "core/window_dpi.h"

bool BringListWindowForward(HWND window)
{
    if (!window)
        return false;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return true;
}

HWND CreateListWindow(const wchar_t* windowClass, WNDPROC procedure, UINT titleId, int width, int height)
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    if (!RegisterProgramWindowClass(windowClass, procedure))
        return NULL;
    wchar_t title[128];
    if (!LoadStringW(appState.instance, titleId, title, ARRAYSIZE(title)))
        title[0] = L'\0';
    UINT dpi = ReadWindowDpi(NULL);
    return CreateWindowExW(0, windowClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                           ScaleForDpi(width, dpi), ScaleForDpi(height, dpi), NULL, NULL, appState.instance, NULL);
}

void ShowAtSavedPlacement(HWND window, const wchar_t* placementSetting, bool* restoring)
{
    *restoring = true;
    int show = RestoreWindowPlacement(window, placementSetting);
    *restoring = false;
    ShowWindow(window, show);
    SetForegroundWindow(window);
}

void RestoreListWindowFocus(HWND window, HWND* remembered, HWND fallback, WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE)
        *remembered = GetFocus();
    else
        SetFocus(IsChild(window, *remembered) ? *remembered : fallback);
}

void EndListWindow(HWND window, const ListView* view, UINT dpi, const wchar_t* placementSetting)
{
    CancelWindowJobs(window);
    SaveListLayout(view, dpi);
    SaveWindowPlacement(window, placementSetting);
}
