// What every list window does alike (the Running Processes window, the
// Startup Entries window): one at a time, made at its monitor's DPI and
// shown where it was, the focus given back where it was, and its layout and
// placement kept when it closes. Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"
#include "app/process_window_dpi.h"

// Brings an open window forward (restored from the taskbar); false for none.
bool BringListWindowForward(HWND window);

struct ListWindowKind;

// What every list window's record begins with: its kind, its window, the
// filter above its one list, the focus it gives back, its keys and its scale.
struct ListWindowFrame {
    ListWindowKind* kind;
    HWND window;
    HWND filter;
    HWND list;
    HWND focusBeforeDeactivation;
    HACCEL keys;
    ProcessWindowDpi scale;
    ListView view;
};

// A record made zeroed on the process heap as a T (a ListWindowFrame and
// the window's own fields after it), and freed as one.
template <class T> ListWindowFrame* MakeListWindowRecord()
{
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T));
    return block ? static_cast<T*>(block) : NULL;
}
template <class T> void FreeListWindowRecord(ListWindowFrame* frame)
{
    HeapFree(GetProcessHeap(), 0, static_cast<T*>(frame));
}

// One kind of list window: what it is called and where it opens, and the calls
// that make it what it is. The record of each window is made at WM_CREATE,
// kept in the window (GWLP_USERDATA) and freed at WM_NCDESTROY.
struct ListWindowKind {
    const wchar_t* windowClass;
    UINT titleId;
    int width;  // the default size, at 96 DPI
    int height;
    const wchar_t* placementSetting;
    ListWindowFrame* (*make)();               // MakeListWindowRecord<the record>
    void (*free)(ListWindowFrame* frame);     // FreeListWindowRecord<the record>
    bool (*start)(ListWindowFrame* frame);    // WM_CREATE: false when the window cannot be made
    void (*forget)(ListWindowFrame* frame);   // WM_NCDESTROY: releases what the record holds of its own
    void (*layOut)(ListWindowFrame* frame, int width, int height);
    void (*rescaled)(ListWindowFrame* frame);  // after a DPI change, before the layout; may be NULL
    void (*showRows)(ListWindowFrame* frame);  // the filter changed or the list sorted anew
    // Every message but the frame's own (the filter's, the header's, the
    // column menu): WM_DESTROY and WM_SYSCOLORCHANGE after the frame's part,
    // WM_CONTEXTMENU only over the list.
    LRESULT (*run)(ListWindowFrame* frame, UINT message, WPARAM wParam, LPARAM lParam);
    HWND open;  // the one window of this kind, while it is open
};

// Opens the one window of its kind: the open one brought forward and NULL
// returned, or a new one made and shown where its placement was saved, in
// front (activated, the focus goes to its filter).
HWND OpenListWindow(ListWindowKind* kind);
void CloseListWindow(const ListWindowKind* kind);
// A list window's record; NULL before WM_CREATE and after WM_NCDESTROY.
ListWindowFrame* ListWindowRecord(HWND window);
// The open window's record when the message is for it or one of its children.
ListWindowFrame* ListWindowRecordForMessage(const ListWindowKind* kind, const MSG* message);
// Made at WM_CREATE: the filter field above the list (its limit, cue and
// accessible name) and the list of `shape` over `model` at the window's DPI.
bool CreateListWindowControls(ListWindowFrame* frame, UINT filterId, int filterCapacity, const ListViewShape* shape,
                              void* model, UINT listId);
// The filter from `left` to `right` in the top margin, the list below filling the window's width.
void PlaceListWindowControls(const ListWindowFrame* frame, int left, int right, int width, int height);
// The focus to the list, its first row selected when none is; to the filter, its text selected.
void FocusListRows(const ListWindowFrame* frame);
void FocusListFilter(const ListWindowFrame* frame);
// The keys every list window reads alike: its accelerators (unless the
// control wants every key), Down in the filter going on to the list as in a
// combo box, then the dialog keys.
bool RunListWindowKeys(ListWindowFrame* frame, MSG* message);

// True while the saved placement is being put back: a DPI change then keeps
// the stored rectangle, measured at the DPI of the monitor it lies on.
bool IsRestoringPlacement(HWND window);
