// The Running Processes window's rows as the one list view's model: its
// columns, and the answers the list asks of the model (app/list_view).
#pragma once
#include <windows.h>
#include "app/list_view.h"
#include "app/process_list.h"

// The window's switches as the model reads them (ShowListRows).
const DWORD ROWS_UNVERIFIED_ONLY = 0x1;
const DWORD ROWS_AS_TREE = 0x2;

extern const ListColumn processColumns[COLUMN_COUNT];
extern const int processColumnOrder[COLUMN_COUNT];
extern const ListModelCalls processListCalls;

// The row of the selected item, or NULL.
ProcessRow* SelectedRow(const ListView* view);
