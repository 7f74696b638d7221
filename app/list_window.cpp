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
static const wchar_t kindProperty[] = L"TavrowenListWindowKind";

static LRESULT CALLBACK ListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the class, and makes an overlapped window titled from the string
// table at the default size (at 96 DPI) scaled to the DPI it will open at.
static HWND CreateListWindow(ListWindowKind* kind)
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    if (!RegisterProgramWindowClass(kind->windowClass, ListWindowProc))
        return NULL;
    wchar_t title[128];
    if (!LoadProgramText(kind->titleId, title, ARRAYSIZE(title)))
        title[0] = L'\0';
    UINT dpi = ReadWindowDpi(NULL);
    return CreateWindowExW(0, kind->windowClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                           CW_USEDEFAULT, ScaleForDpi(kind->width, dpi), ScaleForDpi(kind->height, dpi), NULL, NULL,
                           appState.instance, kind);
}

HWND OpenListWindow(ListWindowKind* kind)
{
    if (BringListWindowForward(kind->open))
        return NULL;
    HWND window = CreateListWindow(kind);
    if (!window)
        return NULL;
    SetPropW(window, restoringProperty, (HANDLE)1);
    int show = RestoreWindowPlacement(window, kind->placementSetting);
    RemovePropW(window, restoringProperty);
    ShowWindow(window, show);
    SetForegroundWindow(window);
    return window;
}

void CloseListWindow(const ListWindowKind* kind)
{
    if (kind->open)
        DestroyWindow(kind->open);
}

bool IsRestoringPlacement(HWND window)
{
    return GetPropW(window, restoringProperty) != NULL;
}

void* ListWindowState(HWND window)
{
    return window ? (void*)GetWindowLongPtrW(window, GWLP_USERDATA) : NULL;
}

void* ListWindowStateForMessage(const ListWindowKind* kind, const MSG* message)
{
    HWND window = kind->open;
    if (!window || (message->hwnd != window && !IsChild(window, message->hwnd)))
        return NULL;
    return ListWindowState(window);
}

void FocusListRows(const ListView* view)
{
    SetFocus(view->list);
    if (SelectedListIndex(view) < 0 && ListView_GetItemCount(view->list) > 0)
        SelectListItem(view, 0);
}

void FocusListFilter(HWND filter)
{
    SetFocus(filter);
    SendMessageW(filter, EM_SETSEL, 0, -1);
}

bool RunListWindowKeys(HWND window, HWND filter, const ListView* view, MSG* message)
{
    if (message->message == WM_KEYDOWN && message->wParam == VK_DOWN && message->hwnd == filter) {
        FocusListRows(view);
        return true;
    }
    return IsDialogMessageW(window, message) != FALSE;
}

// WM_CREATE: the record made and kept in the window before the window's own start.
static LRESULT StartListWindow(ListWindowKind* kind, HWND window)
{
    void* state = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kind->stateSize);
    if (!state)
        return -1;
    SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)state);
    kind->open = window;
    return kind->start(state, window) ? 0 : -1;
}

// WM_NCDESTROY: what the record holds released, then the record.
static void ForgetListWindow(ListWindowKind* kind, HWND window)
{
    if (kind->open == window)
        kind->open = NULL;
    void* state = ListWindowState(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (state) {
        kind->forget(state);
        HeapFree(GetProcessHeap(), 0, state);
    }
    RemovePropW(window, restoringProperty);
    RemovePropW(window, kindProperty);
}

// The procedure of every list window: its kind comes with WM_NCCREATE; then
// the colour mode's messages, the record's life, and every other message to
// the kind's own `run` while the window has its record.
static LRESULT CALLBACK ListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetPropW(window, kindProperty, (HANDLE)((CREATESTRUCTW*)lParam)->lpCreateParams);
    ListWindowKind* kind = (ListWindowKind*)GetPropW(window, kindProperty);
    if (!kind)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT colored = 0;
    if (HandleColorModeMessage(window, message, wParam, lParam, &colored))
        return colored;
    if (message == WM_CREATE)
        return StartListWindow(kind, window);
    if (message == WM_NCDESTROY) {
        ForgetListWindow(kind, window);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    void* state = ListWindowState(window);
    return state ? kind->run(state, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
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
