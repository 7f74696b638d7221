// What the Running Processes window does with a row: its lookup, its file's
// folder, its path on the clipboard, the row menu and the name's tooltip.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "app/process_list.h"

void LookUpRow(const ProcessRow* row);
// Explorer's window on the row's folder with its file selected.
void OpenRowLocation(HWND owner, const ProcessRow* row);
void CopyRowPath(HWND owner, const ProcessRow* row);
// At the mouse, or below the selected row when asked from the keyboard (-1).
void ShowRowMenu(HWND owner, HWND list, const ProcessList* rows, LPARAM position);
// The name's tooltip: the full path and the signer line.
void FillRowTip(const ProcessList* rows, NMLVGETINFOTIPW* tip);
