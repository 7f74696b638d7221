#include "app/list_window.h"
#include "core/program_text.h"
#include <commctrl.h>
#include "app/accessible_names.h"
#include "app/app_state.h"
#include "app/dark_mode.h"
#include "app/window_placement.h"
#include "core/background_jobs.h"
#include "app/program_icons.h"
#include "core/window_dpi.h"
#include "resource.h"

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

static void LayOutListWindow(const ListWindowKind* kind, ListWindowFrame* frame)
{
    RECT client;
    if (frame && GetClientRect(frame->window, &client))
        kind->layOut(frame, client.right, client.bottom);
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
    // Laid out while hidden: a list view moved once shown repaints there and then.
    LayOutListWindow(kind, ListWindowRecord(window));
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

ListWindowFrame* ListWindowRecord(HWND window)
{
    return window ? (ListWindowFrame*)GetWindowLongPtrW(window, GWLP_USERDATA) : NULL;
}

ListWindowFrame* ListWindowRecordForMessage(const ListWindowKind* kind, const MSG* message)
{
    HWND window = kind->open;
    if (!window || (message->hwnd != window && !IsChild(window, message->hwnd)))
        return NULL;
    return ListWindowRecord(window);
}

static HWND CreateListFilter(HWND window, UINT id, int capacity)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    HWND filter = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", style, 0, 0, 0, 0, window, (HMENU)(UINT_PTR)id,
                                  appState.instance, NULL);
    if (!filter)
        return NULL;
    GiveAccessibleName(filter, IDS_FILTER_LABEL, 0);
    SendMessageW(filter, EM_LIMITTEXT, capacity - 1, 0);
    wchar_t cue[64];
    // Only with common controls 6; elsewhere the field is simply blank.
    if (LoadProgramText(IDS_FILTER_CUE, cue, ARRAYSIZE(cue)))
        SendMessageW(filter, EM_SETCUEBANNER, TRUE, (LPARAM)cue);
    return filter;
}

bool CreateListWindowControls(ListWindowFrame* frame, UINT filterId, int filterCapacity, const ListViewShape* shape,
                              void* model, UINT listId)
{
    frame->filter = CreateListFilter(frame->window, filterId, filterCapacity);
    UINT dpi = ReadWindowDpi(frame->window);
    if (!frame->filter || !CreateShapedListView(&frame->view, shape, model, frame->window, listId, dpi))
        return false;
    frame->list = frame->view.list;
    return true;
}

void PlaceListWindowControls(const ListWindowFrame* frame, int left, int right, int width, int height)
{
    int margin = frame->scale.margin;
    int filterHeight = frame->scale.filterHeight;
    int listTop = margin + filterHeight + margin;
    int filterWidth = right - left;
    MoveWindow(frame->filter, left, margin, filterWidth > 0 ? filterWidth : 0, filterHeight, TRUE);
    MoveWindow(frame->list, 0, listTop, width, height > listTop ? height - listTop : 0, TRUE);
}

void FocusListRows(const ListWindowFrame* frame)
{
    SetFocus(frame->list);
    if (SelectedListIndex(&frame->view) < 0 && ListView_GetItemCount(frame->list) > 0)
        SelectListItem(&frame->view, 0);
}

void FocusListFilter(const ListWindowFrame* frame)
{
    SetFocus(frame->filter);
    SendMessageW(frame->filter, EM_SETSEL, 0, -1);
}

// A control that takes every key itself (the finder during a drag) gets
// them before the window's keys.
static bool WantsEveryKey(const MSG* message)
{
    if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN && message->message != WM_CHAR)
        return false;
    LRESULT code = SendMessageW(message->hwnd, WM_GETDLGCODE, message->wParam, (LPARAM)message);
    return (code & DLGC_WANTALLKEYS) != 0;
}

bool RunListWindowKeys(ListWindowFrame* frame, MSG* message)
{
    if (!WantsEveryKey(message) && frame->keys && TranslateAcceleratorW(frame->window, frame->keys, message))
        return true;
    if (message->message == WM_KEYDOWN && message->wParam == VK_DOWN && message->hwnd == frame->filter) {
        FocusListRows(frame);
        return true;
    }
    return IsDialogMessageW(frame->window, message) != FALSE;
}

// WM_CREATE: the record made and kept in the window before the window's own start.
static LRESULT StartListWindow(ListWindowKind* kind, HWND window)
{
    ListWindowFrame* frame = kind->make();
    if (!frame)
        return -1;
    frame->kind = kind;
    frame->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)frame);
    kind->open = window;
    return kind->start(frame) ? 0 : -1;
}

// WM_NCDESTROY: what the record holds released, then the record.
static void ForgetListWindow(ListWindowKind* kind, HWND window)
{
    if (kind->open == window)
        kind->open = NULL;
    ListWindowFrame* frame = ListWindowRecord(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (frame) {
        kind->forget(frame);
        ReleaseProcessWindowDpi(&frame->scale);
        if (frame->keys)
            DestroyAcceleratorTable(frame->keys);
        kind->free(frame);
    }
    RemovePropW(window, restoringProperty);
    RemovePropW(window, kindProperty);
}

// A stored rectangle was measured at the DPI of the monitor it lies on:
// moved there to be restored, the window keeps it as it is.
static void ChangeListWindowDpi(const ListWindowKind* kind, ListWindowFrame* frame, UINT dpi, const RECT* suggested)
{
    ChangeProcessWindowDpi(&frame->scale, frame->window, frame->list, dpi,
                           IsRestoringPlacement(frame->window) ? NULL : suggested);
    if (kind->rescaled)
        kind->rescaled(frame);
    LayOutListWindow(kind, frame);
}

// WM_ACTIVATE: the focus remembered on leaving, given back (or to the
// filter) on coming back, as a dialog does.
static void RestoreListWindowFocus(ListWindowFrame* frame, WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE)
        frame->focusBeforeDeactivation = GetFocus();
    else
        SetFocus(IsChild(frame->window, frame->focusBeforeDeactivation) ? frame->focusBeforeDeactivation
                                                                         : frame->filter);
}

// The header's notifications: a click on a column sorts the rows by it.
static bool RunHeaderNotification(const ListWindowKind* kind, ListWindowFrame* frame, const NMHDR* header,
                                  LRESULT* result)
{
    int sorted = -1;
    if (!HandleListNotification(&frame->view, header, result, &sorted))
        return false;
    if (sorted >= 0) {
        kind->showRows(frame);
        EnsureSelectionVisible(&frame->view);
    }
    return true;
}

// The commands every list window answers alike: the column menu's, Esc, and
// Enter in the filter, which goes on to the list.
static bool RunFrameCommand(const ListWindowKind* kind, ListWindowFrame* frame, WPARAM wParam, LPARAM lParam)
{
    WORD command = LOWORD(wParam);
    if ((HWND)lParam == frame->filter) {
        if (HIWORD(wParam) == EN_CHANGE)
            kind->showRows(frame);
        return true;
    }
    if (command >= IDM_TOGGLE_COLUMN && command < IDM_TOGGLE_COLUMN + frame->view.columnCount) {
        ToggleListColumn(&frame->view, frame->scale.dpi, command - IDM_TOGGLE_COLUMN);
        return true;
    }
    if (command == IDCANCEL) {
        DestroyWindow(frame->window);
        return true;
    }
    if (command == IDOK && GetFocus() == frame->filter) {
        FocusListRows(frame);
        return true;
    }
    return false;
}

// The messages every list window answers alike, before its own part; true
// (and *result) when that is all.
static bool RunFrameMessage(const ListWindowKind* kind, ListWindowFrame* frame, UINT message, WPARAM wParam,
                            LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_COMMAND:
        return RunFrameCommand(kind, frame, wParam, lParam);
    case WM_NOTIFY:
        return RunHeaderNotification(kind, frame, (const NMHDR*)lParam, result);
    case WM_CONTEXTMENU:
        // The column menu over the header; the row menu is the window's own.
        return ShowListColumnMenuAt(&frame->view, frame->window, (HWND)wParam, frame->scale.dpi, lParam) ||
               (HWND)wParam != frame->list;
    case WM_DPICHANGED:
        ChangeListWindowDpi(kind, frame, LOWORD(wParam), (const RECT*)lParam);
        return true;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        // High contrast on or off: every control draws again in the new colours.
        SendMessageW(frame->list, WM_SYSCOLORCHANGE, 0, 0);
        RedrawWindow(frame->window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        return false;
    case WM_GETMINMAXINFO:
        LimitProcessWindowSize(&frame->scale, frame->window, (MINMAXINFO*)lParam);
        return true;
    case WM_ACTIVATE:
        RestoreListWindowFocus(frame, wParam);
        return true;
    case WM_DESTROY:
        // The window's jobs cancelled, its list's layout and its placement saved.
        CancelWindowJobs(frame->window);
        SaveListLayout(&frame->view, frame->scale.dpi);
        SaveWindowPlacement(frame->window, kind->placementSetting);
        return false;
    }
    return false;
}

// The procedure of every list window: its kind comes with WM_NCCREATE; then
// the colour mode's messages, the record's life, the frame's messages, and
// the rest to the kind's own `run` while the window has its record.
static LRESULT CALLBACK ListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetPropW(window, kindProperty, (HANDLE)((CREATESTRUCTW*)lParam)->lpCreateParams);
    // Once the record is made its kind is read from it: a property is a
    // round trip to the window server on some systems, too dear for every message.
    ListWindowFrame* frame = ListWindowRecord(window);
    ListWindowKind* kind = frame ? frame->kind : (ListWindowKind*)GetPropW(window, kindProperty);
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
    if (!frame)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    if (RunFrameMessage(kind, frame, message, wParam, lParam, &result))
        return result;
    return kind->run(frame, message, wParam, lParam);
}
