#include "app/process_view.h"
#include <strsafe.h>
#include "core/window_dpi.h"
#include "resource.h"

struct ColumnSpec {
    UINT titleId;
    int width;  // at 96 DPI
    int format;
};

static const ColumnSpec columns[COLUMN_COUNT] = {
    {IDS_COLUMN_PROCESS, 130, LVCFMT_LEFT},
    {IDS_COLUMN_PID, 50, LVCFMT_RIGHT},
    {IDS_COLUMN_DESCRIPTION, 160, LVCFMT_LEFT},
    {IDS_COLUMN_COMPANY, 110, LVCFMT_LEFT},
    {IDS_COLUMN_SIGNER, 120, LVCFMT_LEFT},
    {IDS_COLUMN_FOLDER, 140, LVCFMT_LEFT},
    {IDS_COLUMN_RUNS, 140, LVCFMT_LEFT},
    {IDS_COLUMN_NOTES, 200, LVCFMT_LEFT},
    {IDS_COLUMN_COMMAND_LINE, 300, LVCFMT_LEFT},
};

int DefaultColumnWidth(int column)
{
    return column >= 0 && column < COLUMN_COUNT ? columns[column].width : 0;
}

void AddProcessColumns(HWND list, HINSTANCE instance, UINT dpi)
{
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        wchar_t title[64];
        if (!LoadStringW(instance, columns[column].titleId, title, ARRAYSIZE(title)))
            title[0] = L'\0';
        LVCOLUMNW spec;
        ZeroMemory(&spec, sizeof(spec));
        spec.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        spec.fmt = columns[column].format;
        spec.cx = ScaleForDpi(columns[column].width, dpi);
        spec.pszText = title;
        spec.iSubItem = column;
        SendMessageW(list, LVM_INSERTCOLUMNW, column, (LPARAM)&spec);
    }
}

static int ItemWith(HWND list, UINT state)
{
    return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, state);
}

static void SetItemState(HWND list, int index, UINT state, UINT mask)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = mask;
    item.state = state;
    SendMessageW(list, LVM_SETITEMSTATE, index, (LPARAM)&item);
}

// Moves a state (selected, focused) to the process's new place; a state
// already at that place is left alone, so an unchanged list hears nothing.
static void KeepStateWithProcess(HWND list, const ProcessList* rows, UINT state, int oldIndex, DWORD processId)
{
    int newIndex = processId ? FindShownProcess(rows, processId) : -1;
    if (newIndex == oldIndex)
        return;
    if (oldIndex >= 0)
        SetItemState(list, oldIndex, 0, state);
    if (newIndex >= 0)
        SetItemState(list, newIndex, state, state);
}

void ShowProcessRows(HWND list, ProcessList* rows, const RowView* view)
{
    int selected = ItemWith(list, LVNI_SELECTED);
    int focused = ItemWith(list, LVNI_FOCUSED);
    const ProcessRow* selectedRow = ShownRow(rows, selected);
    const ProcessRow* focusedRow = ShownRow(rows, focused);
    DWORD selectedId = selectedRow ? selectedRow->processId : 0;
    DWORD focusedId = focusedRow ? focusedRow->processId : 0;
    int oldCount = rows->shownCount;
    ShowMatchingRows(rows, view);
    if (rows->shownCount != oldCount) {
        // Items past the new end lose their states with them.
        if (selected >= rows->shownCount)
            selected = -1;
        if (focused >= rows->shownCount)
            focused = -1;
        SendMessageW(list, LVM_SETITEMCOUNT, rows->shownCount, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    KeepStateWithProcess(list, rows, LVIS_SELECTED, selected, selectedId);
    KeepStateWithProcess(list, rows, LVIS_FOCUSED, focused, focusedId);
    InvalidateRect(list, NULL, FALSE);
}

void ShowSortArrow(HWND list, int sortColumn, bool descending)
{
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        HDITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.mask = HDI_FORMAT;
        if (!SendMessageW(header, HDM_GETITEMW, column, (LPARAM)&item))
            continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == sortColumn)
            item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, column, (LPARAM)&item);
    }
}

static const wchar_t* ColumnText(const ProcessRow* row, int column, wchar_t* number, size_t capacity)
{
    switch (column) {
    case COLUMN_PROCESS:
        return row->imageName;
    case COLUMN_PID:
        StringCchPrintfW(number, capacity, L"%lu", row->processId);
        return number;
    case COLUMN_DESCRIPTION:
        return row->description;
    case COLUMN_COMPANY:
        return row->company;
    case COLUMN_SIGNER:
        return row->signer;
    case COLUMN_FOLDER:
        return row->folder;
    case COLUMN_RUNS:
        return RowRuns(row);
    case COLUMN_COMMAND_LINE:
        return RowCommandLine(row);
    case COLUMN_NOTES:
        return row->notesCell;
    }
    return L"";
}

void FillItemDisplay(const ProcessList* rows, NMLVDISPINFOW* display)
{
    LVITEMW& item = display->item;
    const ProcessRow* row = ShownRow(rows, item.iItem);
    if (!row)
        return;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        wchar_t number[16];
        StringCchCopyW(item.pszText, item.cchTextMax, ColumnText(row, item.iSubItem, number, ARRAYSIZE(number)));
    }
    if (item.mask & LVIF_IMAGE)
        item.iImage = row->iconIndex;
}

int FindItemByName(const ProcessList* rows, const NMLVFINDITEMW* find)
{
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz)
        return -1;
    return FindShownName(rows, find->lvfi.psz, find->iStart);
}

ProcessRow* SelectedRow(HWND list, const ProcessList* rows)
{
    return ShownRow(rows, ItemWith(list, LVNI_SELECTED));
}

void SelectProcessItem(HWND list, int index)
{
    SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(list, LVM_ENSUREVISIBLE, index, FALSE);
}
