// What every list window does alike (the Running Processes window, the
// Startup Entries window): one at a time, made at its monitor's DPI and
// shown where it was, the focus given back where it was, and its layout and
// placement kept when it closes. Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"

// Brings an open window forward (restored from the taskbar); false for none.
bool BringListWindowForward(HWND window);

// Opens the one window of its kind: the open one (*open) brought forward and
// NULL returned, or a new one made, kept in *open and shown where its
// placement was saved, in front.
HWND OpenListWindow(HWND* open, const wchar_t* windowClass, WNDPROC procedure, UINT titleId, int width, int height,
                    const wchar_t* placementSetting);
// True while the saved placement is being put back: a DPI change then keeps
// the stored rectangle, measured at the DPI of the monitor it lies on.
bool IsRestoringPlacement(HWND window);

// What a list window's procedure does of its own.
struct ListWindowCalls {
    LRESULT (*start)(HWND window);  // WM_CREATE: makes the record and keeps it in the window; -1 when it cannot
    void (*forget)(HWND window);    // WM_NCDESTROY: frees it
    LRESULT (*run)(void* state, UINT message, WPARAM wParam, LPARAM lParam);  // the rest, with the record
};
// The procedure's frame: the colour mode's messages, the record's life, and
// every other message to `run` while the window has its record.
LRESULT RunListWindowProcedure(const ListWindowCalls* calls, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WM_ACTIVATE: remembers the focus on leaving, gives it back (or to
// `fallback`) on coming back, as a dialog does.
void RestoreListWindowFocus(HWND window, HWND* remembered, HWND fallback, WPARAM activation);

// WM_DESTROY: the window's jobs cancelled, its list's layout and its placement saved.
void EndListWindow(HWND window, const ListView* view, UINT dpi, const wchar_t* placementSetting);
