#include "app/process_view.h"
#include <strsafe.h>
#include "core/plain_text.h"
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

// The shown processes' PIDs in their order, on the heap (the caller frees
// them); NULL when none are shown or memory ran out.
static DWORD* CopyShownOrder(const ProcessList* rows)
{
    if (rows->shownCount <= 0)
        return NULL;
    DWORD* order = (DWORD*)HeapAlloc(GetProcessHeap(), 0, rows->shownCount * sizeof(DWORD));
    for (int i = 0; order && i < rows->shownCount; ++i)
        order[i] = rows->shown[i]->processId;
    return order;
}

static bool IsShownOrder(const ProcessList* rows, const DWORD* order, int count)
{
    if (count != rows->shownCount || (count > 0 && !order))
        return false;
    for (int i = 0; i < count; ++i) {
        if (rows->shown[i]->processId != order[i])
            return false;
    }
    return true;
}

// Rows that came or went above the top row leave that row where it was seen.
static void KeepTopRow(HWND list, const ProcessList* rows, DWORD topId)
{
    int newTop = topId ? FindShownProcess(rows, topId) : -1;
    int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    RECT item = {LVIR_BOUNDS, 0, 0, 0};
    if (newTop < 0 || newTop == top || !SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&item))
        return;
    SendMessageW(list, LVM_SCROLL, 0, (newTop - top) * (item.bottom - item.top));
}

void ShowProcessRows(HWND list, ProcessList* rows, const RowView* view)
{
    int selected = ItemWith(list, LVNI_SELECTED);
    int focused = ItemWith(list, LVNI_FOCUSED);
    const ProcessRow* selectedRow = ShownRow(rows, selected);
    const ProcessRow* focusedRow = ShownRow(rows, focused);
    const ProcessRow* topRow = ShownRow(rows, (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    DWORD selectedId = selectedRow ? selectedRow->processId : 0;
    DWORD focusedId = focusedRow ? focusedRow->processId : 0;
    DWORD topId = topRow ? topRow->processId : 0;
    int oldCount = rows->shownCount;
    DWORD* oldOrder = CopyShownOrder(rows);
    ShowMatchingRows(rows, view);
    bool sameOrder = IsShownOrder(rows, oldOrder, oldCount);
    if (oldOrder)
        HeapFree(GetProcessHeap(), 0, oldOrder);
    // The same rows in the same places: the list hears nothing, so a screen
    // reader has nothing to announce.
    if (sameOrder)
        return;
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
    KeepTopRow(list, rows, topId);
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
        BlankControlCharacters(item.pszText, (size_t)item.cchTextMax);
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
