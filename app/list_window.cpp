#include "app/list_window.h"
#include "core/program_text.h"
#include <commctrl.h>
#include "app/app_state.h"
#include "app/dark_mode.h"
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

static const wchar_t restoringProperty[] = L"TavrowenRestoringPlacement";

// Registers the class, and makes an overlapped window titled from the string
// table at the default size (at 96 DPI) scaled to the DPI it will open at.
static HWND CreateListWindow(const wchar_t* windowClass, WNDPROC procedure, UINT titleId, int width, int height)
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    if (!RegisterProgramWindowClass(windowClass, procedure))
        return NULL;
    wchar_t title[128];
    if (!LoadProgramText(titleId, title, ARRAYSIZE(title)))
        title[0] = L'\0';
    UINT dpi = ReadWindowDpi(NULL);
    return CreateWindowExW(0, windowClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                           ScaleForDpi(width, dpi), ScaleForDpi(height, dpi), NULL, NULL, appState.instance, NULL);
}

HWND OpenListWindow(HWND* open, const wchar_t* windowClass, WNDPROC procedure, UINT titleId, int width, int height,
                    const wchar_t* placementSetting)
{
    if (BringListWindowForward(*open))
        return NULL;
    HWND window = CreateListWindow(windowClass, procedure, titleId, width, height);
    if (!window)
        return NULL;
    *open = window;
    SetPropW(window, restoringProperty, (HANDLE)1);
    int show = RestoreWindowPlacement(window, placementSetting);
    RemovePropW(window, restoringProperty);
    ShowWindow(window, show);
    SetForegroundWindow(window);
    return window;
}

bool IsRestoringPlacement(HWND window)
{
    return GetPropW(window, restoringProperty) != NULL;
}

LRESULT RunListWindowProcedure(const ListWindowCalls* calls, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT colored = 0;
    if (HandleColorModeMessage(window, message, wParam, lParam, &colored))
        return colored;
    if (message == WM_CREATE)
        return calls->start(window);
    if (message == WM_NCDESTROY) {
        calls->forget(window);
        RemovePropW(window, restoringProperty);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    void* state = (void*)GetWindowLongPtrW(window, GWLP_USERDATA);
    return state ? calls->run(state, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
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
