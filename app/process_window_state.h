// The Running Processes window's record, shared by its files: the window
// (app/process_window) and its commands (app/process_window_commands).
// Window thread only.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "app/list_view.h"
#include "app/list_window.h"
#include "app/process_list.h"
#include "app/process_window_dpi.h"
#include "app/sheet_reads.h"

// Each window's own after the frame every list window has, made at
// WM_CREATE and freed at WM_NCDESTROY.
struct ProcessWindowState : ListWindowFrame {
    bool timerRunning;
    bool paused;  // Ctrl+P: no refreshing until pressed again
    bool tree;    // Ctrl+T: each process under its parent
    HIMAGELIST treeBoxes;  // the rows' boxes at the window's DPI (app/tree_boxes)
    wchar_t checkingText[32];
    wchar_t changedText[64];  // " (changed after the process started)"
    ProcessList rows;
    SheetCopy copy;
};

// Shows the rows that pass the filter, in the chosen order.
void ShowProcessRows(ProcessWindowState* state);
// Lists the running processes again and asks for the new rows' reads.
void RefreshProcessRows(ProcessWindowState* state);
// Refreshing runs only while the window can be seen.
void RunProcessRefreshTimer(ProcessWindowState* state, bool run);

// The tree as state->tree says, its boxes made for the window's DPI.
void ShowProcessTree(ProcessWindowState* state);
// Left, Right and `*` on the list while the tree shows; false for another key.
bool RunProcessTreeKey(ProcessWindowState* state, WPARAM key);
// WM_COMMAND other than those every list window answers (app/list_window).
void RunProcessWindowCommand(ProcessWindowState* state, WORD command);
// WM_NOTIFY from the list or its header.
LRESULT RunProcessListNotification(ProcessWindowState* state, const NMHDR* header);
