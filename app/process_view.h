// The Running Processes window's list as a view of its model: a virtual list
// view (LVS_OWNERDATA) whose items are the model's shown rows, their text and
// icon given when the list asks. Filtering and sorting rebuild the model's
// order, never the items; the selection and focus follow their processes.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "app/process_list.h"

// A column's width at 96 DPI when the user has set none.
int DefaultColumnWidth(int column);
// The list's columns, at `dpi`.
void AddProcessColumns(HWND list, HINSTANCE instance, UINT dpi);
// Picks and orders the shown rows for `view`, and brings the list in line:
// its count, the selected and focused processes at their new places, and
// what it shows drawn again, the top row kept in place by its PID. When the
// same rows show in the same order it touches the list not at all: a change
// of a row's text is for the caller to draw.
void ShowProcessRows(HWND list, ProcessList* rows, const RowView* view);
// The arrow on the sorted column's header.
void ShowSortArrow(HWND list, int sortColumn, bool descending);
// LVN_GETDISPINFOW: the text, icon and indent of the item asked for.
void FillItemDisplay(const ProcessList* rows, NMLVDISPINFOW* display);
// LVN_ODFINDITEMW: typing a name's first letters finds its row.
int FindItemByName(const ProcessList* rows, const NMLVFINDITEMW* find);
// The row of the selected item, or NULL.
ProcessRow* SelectedRow(HWND list, const ProcessList* rows);
// Selects and focuses the row's item, and scrolls it into view.
void SelectProcessItem(HWND list, int index);
