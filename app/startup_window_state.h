// The Startup Entries window's record, shared by its files: the window
// (app/startup_window) and its commands (app/startup_window_commands).
// Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"
#include "app/list_window.h"
#include "app/process_window_dpi.h"
#include "app/startup_view.h"

// Each window's own after the frame every list window has, made at
// WM_CREATE and freed at WM_NCDESTROY.
struct StartupWindowState : ListWindowFrame {
    HWND hideWindows;  // "Hide Windows Entries"
    wchar_t notReadText[32];
    LONG evidenceReading;  // counts the readings of the entries: a batch names its own
    int nextEvidence;      // the first entry whose file is not yet asked for
    StartupRows rows;
};

// Shows the entries that pass the filter, in the chosen order.
void ShowStartupRows(StartupWindowState* state);
// Reads the entries again on the reads' lane.
void RequestStartupEntries(StartupWindowState* state);

// WM_COMMAND other than those every list window answers (app/list_window).
void RunStartupWindowCommand(StartupWindowState* state, WORD command);
// WM_NOTIFY from the list or its header.
LRESULT RunStartupListNotification(StartupWindowState* state, const NMHDR* header);
// WM_CONTEXTMENU over the list: the row menu at the mouse, or below the
// selected row when asked from the keyboard (-1).
void ShowStartupRowMenu(StartupWindowState* state, LPARAM position);

// Disable (Del, after the person confirms it) or Enable on the selected
// entry; its row's State follows. A failure is told in a box.
void SwitchSelectedStartupEntry(StartupWindowState* state, bool enable);
// The menu's Disable and Enable as the entry allows them: greyed for an
// entry that is not ours to switch, and for the state it is in already.
void AllowStartupSwitchItems(HMENU menu, const StartupEntry* entry);
