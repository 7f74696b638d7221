// What the Running Processes window does with a row: its lookup, its file's
// folder, its path on the clipboard, the row menu and the name's tooltip.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "app/process_list.h"

void LookUpRow(const ProcessRow* row);
// Looks up the row's payload file `index` as /lookup looks up a file: by its
// own name, folder, MD5, size and version. Nothing for an index it lacks.
void LookUpRowPayload(const ProcessRow* row, int index);
// Ctrl+Enter: the payload's lookup when the row runs exactly one file, else
// the row menu below the selected row.
void LookUpSelectedPayload(HWND owner, HWND list, const ProcessList* rows);
// Explorer's window on the row's folder with its file selected.
void OpenRowLocation(HWND owner, const ProcessRow* row);
void CopyRowPath(HWND owner, const ProcessRow* row);
// At the mouse, or below the selected row when asked from the keyboard (-1);
// a lookup of each payload file comes first.
void ShowRowMenu(HWND owner, HWND list, const ProcessList* rows, LPARAM position);
// The name's tooltip: the full path and the signer line, then each payload
// file's path and signer line, and the decoded command.
void FillRowTip(const ProcessList* rows, NMLVGETINFOTIPW* tip);
