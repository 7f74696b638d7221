// What every list window does alike (the Running Processes window, the
// Startup Entries window): one at a time, made at its monitor's DPI and
// shown where it was, the focus given back where it was, and its layout and
// placement kept when it closes. Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"

// Brings an open window forward (restored from the taskbar); false for none.
bool BringListWindowForward(HWND window);

// One kind of list window: what it is called and where it opens, and the calls
// that make it what it is. The record of each window is made zeroed at
// WM_CREATE, kept in the window (GWLP_USERDATA) and freed at WM_NCDESTROY.
struct ListWindowKind {
    const wchar_t* windowClass;
    UINT titleId;
    int width;  // the default size, at 96 DPI
    int height;
    const wchar_t* placementSetting;
    SIZE_T stateSize;
    bool (*start)(void* state, HWND window);  // WM_CREATE: false when the window cannot be made
    void (*forget)(void* state);              // WM_NCDESTROY: releases what the record holds
    LRESULT (*run)(void* state, UINT message, WPARAM wParam, LPARAM lParam);  // the rest, with the record
    HWND open;  // the one window of this kind, while it is open
};

// Opens the one window of its kind: the open one brought forward and NULL
// returned, or a new one made and shown where its placement was saved, in front.
HWND OpenListWindow(ListWindowKind* kind);
void CloseListWindow(const ListWindowKind* kind);
// A list window's record; NULL before WM_CREATE and after WM_NCDESTROY.
void* ListWindowState(HWND window);
// The open window's record when the message is for it or one of its children.
void* ListWindowStateForMessage(const ListWindowKind* kind, const MSG* message);
// The focus to the list, its first row selected when none is; to the filter, its text selected.
void FocusListRows(const ListView* view);
void FocusListFilter(HWND filter);
// The keys every list window reads alike: Down in the filter goes on to the
// list, as in a combo box, then the dialog keys.
bool RunListWindowKeys(HWND window, HWND filter, const ListView* view, MSG* message);

// True while the saved placement is being put back: a DPI change then keeps
// the stored rectangle, measured at the DPI of the monitor it lies on.
bool IsRestoringPlacement(HWND window);

// WM_ACTIVATE: remembers the focus on leaving, gives it back (or to
// `fallback`) on coming back, as a dialog does.
void RestoreListWindowFocus(HWND window, HWND* remembered, HWND fallback, WPARAM activation);

// WM_DESTROY: the window's jobs cancelled, its list's layout and its placement saved.
void EndListWindow(HWND window, const ListView* view, UINT dpi, const wchar_t* placementSetting);
