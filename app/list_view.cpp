#include "app/list_view.h"
#include "app/app_state.h"
#include "core/program_text.h"
#include <strsafe.h>
#include <algorithm>
#include "core/plain_text.h"
#include "core/settings.h"
#include "core/window_dpi.h"
#include "resource.h"

static const int WIDEST_COLUMN = 4096;
static const int TITLE_CAPACITY = 64;
// Room beside a column's title for the header's margins and sort arrow.
static const int TITLE_PADDING = 24;

static void AddColumns(const ListView* view, HINSTANCE instance, UINT dpi)
{
    for (int column = 0; column < view->columnCount; ++column) {
        wchar_t title[TITLE_CAPACITY];
        if (!LoadProgramText(view->columns[column].titleId, title, ARRAYSIZE(title)))
            title[0] = L'\0';
        LVCOLUMNW spec;
        ZeroMemory(&spec, sizeof(spec));
        spec.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        spec.fmt = view->columns[column].format;
        spec.cx = ScaleForDpi(view->columns[column].width, dpi);
        // A language with longer titles gets columns wide enough to read them.
        int fitted = (int)SendMessageW(view->list, LVM_GETSTRINGWIDTHW, 0, (LPARAM)title) +
                     ScaleForDpi(TITLE_PADDING, dpi);
        if (title[0] && fitted > spec.cx)
            spec.cx = fitted;
        spec.pszText = title;
        spec.iSubItem = column;
        SendMessageW(view->list, LVM_INSERTCOLUMNW, column, (LPARAM)&spec);
    }
}

// ---- The saved layout ---------------------------------------------------------

// As saved: the count, the order, the widths at 96 DPI, a bit per hidden
// column; one DWORD each.
static DWORD LayoutSize(int columnCount)
{
    return (DWORD)(2 + 2 * columnCount) * sizeof(DWORD);
}

static bool IsWellFormed(const DWORD* saved, int columnCount)
{
    const INT* order = (const INT*)saved + 1;
    const INT* widths = order + columnCount;
    DWORD hidden = saved[1 + 2 * columnCount];
    if (saved[0] != (DWORD)columnCount || (hidden & 1) || (columnCount < 32 && hidden >> columnCount))
        return false;
    DWORD seen = 0;
    for (int i = 0; i < columnCount; ++i) {
        if (order[i] < 0 || order[i] >= columnCount || widths[i] < 0 || widths[i] > WIDEST_COLUMN)
            return false;
        seen |= 1u << order[i];
    }
    return seen == (columnCount < 32 ? (1u << columnCount) - 1 : 0xFFFFFFFFu);
}

// A layout saved when the list had fewer columns (an earlier version): the
// new ones follow the saved ones at their first widths, shown.
static bool WidenSavedLayout(const ListView* view, DWORD* saved, DWORD bytes)
{
    int columnCount = view->columnCount;
    int count = bytes >= sizeof(DWORD) ? (int)saved[0] : 0;
    if (count <= 0 || count >= columnCount || bytes != LayoutSize(count) || !IsWellFormed(saved, count))
        return false;
    INT order[LIST_VIEW_COLUMNS], widths[LIST_VIEW_COLUMNS];
    CopyMemory(order, saved + 1, count * sizeof(INT));
    CopyMemory(widths, saved + 1 + count, count * sizeof(INT));
    DWORD hidden = saved[1 + 2 * count];
    for (int column = count; column < columnCount; ++column) {
        order[column] = column;
        widths[column] = view->columns[column].width;
    }
    saved[0] = (DWORD)columnCount;
    CopyMemory(saved + 1, order, columnCount * sizeof(INT));
    CopyMemory(saved + 1 + columnCount, widths, columnCount * sizeof(INT));
    saved[1 + 2 * columnCount] = hidden;
    return true;
}

static void RestoreListLayout(ListView* view, UINT dpi)
{
    view->hidden = 0;
    for (int column = 0; column < view->columnCount; ++column)
        view->widthsBeforeHiding[column] = view->columns[column].width;
    DWORD saved[2 + 2 * LIST_VIEW_COLUMNS];
    DWORD size = LayoutSize(view->columnCount);
    DWORD bytes = 0;
    bool read = ReadBinarySetting(view->layoutSetting, saved, size, &bytes);
    if (read && bytes != size && WidenSavedLayout(view, saved, bytes))
        bytes = size;
    if (!read || bytes != size || !IsWellFormed(saved, view->columnCount)) {
        if (view->defaultOrder)
            SendMessageW(view->list, LVM_SETCOLUMNORDERARRAY, view->columnCount, (LPARAM)view->defaultOrder);
        return;
    }
    const INT* order = (const INT*)saved + 1;
    const INT* widths = order + view->columnCount;
    SendMessageW(view->list, LVM_SETCOLUMNORDERARRAY, view->columnCount, (LPARAM)order);
    view->hidden = saved[1 + 2 * view->columnCount];
    for (int column = 0; column < view->columnCount; ++column) {
        view->widthsBeforeHiding[column] = widths[column];
        int width = IsListColumnHidden(view, column) ? 0 : ScaleForDpi(widths[column], dpi);
        SendMessageW(view->list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
    }
}

void SaveListLayout(const ListView* view, UINT dpi)
{
    DWORD saved[2 + 2 * LIST_VIEW_COLUMNS];
    ZeroMemory(saved, sizeof(saved));
    INT* order = (INT*)saved + 1;
    INT* widths = order + view->columnCount;
    saved[0] = (DWORD)view->columnCount;
    saved[1 + 2 * view->columnCount] = view->hidden;
    if (!SendMessageW(view->list, LVM_GETCOLUMNORDERARRAY, view->columnCount, (LPARAM)order))
        return;
    for (int column = 0; column < view->columnCount; ++column) {
        int width = (int)SendMessageW(view->list, LVM_GETCOLUMNWIDTH, column, 0);
        widths[column] = IsListColumnHidden(view, column) ? view->widthsBeforeHiding[column]
                                                          : MulDiv(width, 96, (int)dpi);
        if (widths[column] > WIDEST_COLUMN)
            widths[column] = WIDEST_COLUMN;
    }
    if (IsWellFormed(saved, view->columnCount) && EnsureSettingsKey())
        WriteBinarySetting(view->layoutSetting, saved, LayoutSize(view->columnCount));
}

bool IsListColumnHidden(const ListView* view, int column)
{
    return column >= 0 && column < view->columnCount && (view->hidden & (1u << column)) != 0;
}

void ToggleListColumn(ListView* view, UINT dpi, int column)
{
    if (column <= 0 || column >= view->columnCount)
        return;
    int width = 0;
    if (IsListColumnHidden(view, column)) {
        view->hidden &= ~(1u << column);
        int before = view->widthsBeforeHiding[column];
        width = ScaleForDpi(before ? before : view->columns[column].width, dpi);
    } else {
        int shown = (int)SendMessageW(view->list, LVM_GETCOLUMNWIDTH, column, 0);
        view->widthsBeforeHiding[column] = MulDiv(shown, 96, (int)dpi);
        view->hidden |= 1u << column;
    }
    SendMessageW(view->list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
    SaveListLayout(view, dpi);
}

static HWND ListHeader(const ListView* view)
{
    return (HWND)SendMessageW(view->list, LVM_GETHEADER, 0, 0);
}

static void ShowColumnMenu(ListView* view, HWND owner, UINT dpi, POINT screenPoint)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    for (int column = 0; column < view->columnCount; ++column) {
        wchar_t title[TITLE_CAPACITY] = L"";
        LVCOLUMNW spec;
        ZeroMemory(&spec, sizeof(spec));
        spec.mask = LVCF_TEXT;
        spec.pszText = title;
        spec.cchTextMax = ARRAYSIZE(title);
        SendMessageW(view->list, LVM_GETCOLUMNW, column, (LPARAM)&spec);
        UINT flags = MF_STRING | (IsListColumnHidden(view, column) ? MF_UNCHECKED : MF_CHECKED) |
                     (column == 0 ? MF_GRAYED : 0);
        AppendMenuW(menu, flags, IDM_TOGGLE_COLUMN + column, title);
    }
    UINT chosen = (UINT)TrackPopupMenuEx(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD, screenPoint.x, screenPoint.y, owner,
                                         NULL);
    DestroyMenu(menu);
    if (chosen >= IDM_TOGGLE_COLUMN && chosen < IDM_TOGGLE_COLUMN + (UINT)view->columnCount)
        ToggleListColumn(view, dpi, (int)(chosen - IDM_TOGGLE_COLUMN));
}

bool ShowListColumnMenuAt(ListView* view, HWND owner, HWND clicked, UINT dpi, LPARAM position)
{
    HWND header = ListHeader(view);
    if (clicked != view->list && clicked != header)
        return false;
    POINT point = {(short)LOWORD(position), (short)HIWORD(position)};
    RECT headerRect;
    if (!GetWindowRect(header, &headerRect))
        return false;
    // From the keyboard (-1) over the list, the rows' menu is meant.
    if (clicked == view->list && (position == -1 || !PtInRect(&headerRect, point)))
        return false;
    // From the keyboard over the header, the menu opens at its corner.
    if (position == -1) {
        point.x = headerRect.left;
        point.y = headerRect.bottom;
    }
    ShowColumnMenu(view, owner, dpi, point);
    return true;
}

bool CreateListView(ListView* view, HWND parent, UINT id, HINSTANCE instance, UINT dpi)
{
    if (view->columnCount <= 0 || view->columnCount > LIST_VIEW_COLUMNS)
        return false;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                  LVS_SHAREIMAGELISTS | LVS_OWNERDATA;
    view->list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", style, 0, 0, 0, 0, parent,
                                 (HMENU)(UINT_PTR)id, instance, NULL);
    if (!view->list)
        return false;
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
    SendMessageW(view->list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    AddColumns(view, instance, dpi);
    RestoreListLayout(view, dpi);
    return true;
}

bool CreateShapedListView(ListView* view, const ListViewShape* shape, void* model, HWND parent, UINT id, UINT dpi)
{
    view->columns = shape->columns;
    view->columnCount = shape->columnCount;
    view->layoutSetting = shape->layoutSetting;
    view->defaultOrder = shape->defaultOrder;
    view->calls = shape->calls;
    view->model = model;
    return CreateListView(view, parent, id, appState.instance, dpi);
}

// ---- The rows -------------------------------------------------------------------

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

static ULONG_PTR KeyAt(const ListView* view, int index)
{
    return index >= 0 && index < view->calls->shownCount(view->model) ? view->calls->shownKey(view->model, index) : 0;
}

// Moves a state (selected, focused) to the row's new place; a state already
// at that place is left alone, so an unchanged list hears nothing.
static void KeepStateWithRow(const ListView* view, UINT state, int oldIndex, ULONG_PTR key)
{
    int newIndex = key ? view->calls->findShownKey(view->model, key) : -1;
    if (newIndex == oldIndex)
        return;
    if (oldIndex >= 0)
        SetItemState(view->list, oldIndex, 0, state);
    if (newIndex >= 0)
        SetItemState(view->list, newIndex, state, state);
}

// The shown rows' keys in their order, on the heap (the caller frees them);
// NULL when none are shown or memory ran out.
static ULONG_PTR* CopyShownOrder(const ListView* view, int count)
{
    if (count <= 0)
        return NULL;
    ULONG_PTR* order = (ULONG_PTR*)HeapAlloc(GetProcessHeap(), 0, count * sizeof(ULONG_PTR));
    for (int i = 0; order && i < count; ++i)
        order[i] = view->calls->shownKey(view->model, i);
    return order;
}

static bool IsShownOrder(const ListView* view, const ULONG_PTR* order, int count)
{
    if (count != view->calls->shownCount(view->model) || (count > 0 && !order))
        return false;
    for (int i = 0; i < count; ++i) {
        if (view->calls->shownKey(view->model, i) != order[i])
            return false;
    }
    return true;
}

// Rows that came or went above the top row leave that row where it was seen.
static void KeepTopRow(const ListView* view, ULONG_PTR topKey)
{
    int newTop = topKey ? view->calls->findShownKey(view->model, topKey) : -1;
    int top = (int)SendMessageW(view->list, LVM_GETTOPINDEX, 0, 0);
    RECT item = {LVIR_BOUNDS, 0, 0, 0};
    if (newTop < 0 || newTop == top || !SendMessageW(view->list, LVM_GETITEMRECT, 0, (LPARAM)&item))
        return;
    SendMessageW(view->list, LVM_SCROLL, 0, (newTop - top) * (item.bottom - item.top));
}

// The rows' part of the list, below its header. The list does not clip its
// children, so invalidating the whole of it would draw the header again too.
static void InvalidateListRows(const ListView* view)
{
    RECT rows, header;
    if (!GetClientRect(view->list, &rows))
        return;
    HWND headerWindow = ListHeader(view);
    if (headerWindow && IsWindowVisible(headerWindow) && GetWindowRect(headerWindow, &header))
        rows.top = header.bottom - header.top;
    RedrawWindow(view->list, &rows, NULL, RDW_INVALIDATE | RDW_NOCHILDREN);
}

void ShowListRows(ListView* view, const wchar_t* filter, DWORD switches)
{
    int selected = ItemWith(view->list, LVNI_SELECTED);
    int focused = ItemWith(view->list, LVNI_FOCUSED);
    ULONG_PTR selectedKey = KeyAt(view, selected);
    ULONG_PTR focusedKey = KeyAt(view, focused);
    ULONG_PTR topKey = KeyAt(view, (int)SendMessageW(view->list, LVM_GETTOPINDEX, 0, 0));
    int oldCount = view->calls->shownCount(view->model);
    ULONG_PTR* oldOrder = CopyShownOrder(view, oldCount);
    view->calls->showMatching(view->model, filter, switches, view->sortColumn, view->descending);
    bool sameOrder = IsShownOrder(view, oldOrder, oldCount);
    if (oldOrder)
        HeapFree(GetProcessHeap(), 0, oldOrder);
    // The same rows in the same places: the list hears nothing, so a screen
    // reader has nothing to announce.
    if (sameOrder)
        return;
    int count = view->calls->shownCount(view->model);
    if (count != oldCount) {
        // Items past the new end lose their states with them.
        if (selected >= count)
            selected = -1;
        if (focused >= count)
            focused = -1;
        SendMessageW(view->list, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    KeepStateWithRow(view, LVIS_SELECTED, selected, selectedKey);
    KeepStateWithRow(view, LVIS_FOCUSED, focused, focusedKey);
    KeepTopRow(view, topKey);
    InvalidateListRows(view);
}

void ChangeListSort(ListView* view, int column)
{
    if (column < 0 || column >= view->columnCount)
        return;
    if (column == view->sortColumn) {
        view->descending = !view->descending;
    } else {
        view->sortColumn = column;
        view->descending = false;
    }
    ShowListSortArrow(view);
}

void ShowListSortArrow(const ListView* view)
{
    HWND header = ListHeader(view);
    for (int column = 0; column < view->columnCount; ++column) {
        HDITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.mask = HDI_FORMAT;
        if (!SendMessageW(header, HDM_GETITEMW, column, (LPARAM)&item))
            continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == view->sortColumn)
            item.fmt |= view->descending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, column, (LPARAM)&item);
    }
}

void EnsureSelectionVisible(const ListView* view)
{
    int index = ItemWith(view->list, LVNI_SELECTED);
    if (index >= 0)
        SendMessageW(view->list, LVM_ENSUREVISIBLE, index, FALSE);
}

static void FillItemDisplay(const ListView* view, NMLVDISPINFOW* display)
{
    LVITEMW& item = display->item;
    if (item.iItem < 0 || item.iItem >= view->calls->shownCount(view->model))
        return;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        wchar_t scratch[32] = L"";
        const wchar_t* text = view->calls->cellText(view->model, item.iItem, item.iSubItem, scratch,
                                                    ARRAYSIZE(scratch));
        StringCchCopyW(item.pszText, item.cchTextMax, text ? text : L"");
        // A cell shows text another program chose: no line of its own, no reordering.
        BlankControlCharacters(item.pszText, (size_t)item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE)
        item.iImage = view->calls->iconIndex(view->model, item.iItem);
    if (!view->tree || !view->calls->treeLevel || item.iSubItem != 0)
        return;
    int box = LIST_NO_BOX;
    int level = view->calls->treeLevel(view->model, item.iItem, &box);
    if (item.mask & LVIF_INDENT)
        item.iIndent = level;
    if ((item.mask & LVIF_STATE) && (item.stateMask & LVIS_STATEIMAGEMASK))
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(box);
}

void ShowListAsTree(ListView* view, bool tree, HIMAGELIST boxes)
{
    view->tree = tree && view->calls->treeLevel;
    // A virtual list asks for its state images only through the callback mask.
    SendMessageW(view->list, LVM_SETCALLBACKMASK, view->tree ? LVIS_STATEIMAGEMASK : 0, 0);
    SendMessageW(view->list, LVM_SETIMAGELIST, LVSIL_STATE, (LPARAM)(view->tree ? boxes : NULL));
    InvalidateRect(view->list, NULL, TRUE);
}

int ListBoxAt(const ListView* view, POINT point)
{
    LVHITTESTINFO hit;
    ZeroMemory(&hit, sizeof(hit));
    hit.pt = point;
    int index = (int)SendMessageW(view->list, LVM_HITTEST, 0, (LPARAM)&hit);
    return view->tree && index >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) ? index : -1;
}

static int FindItemByName(const ListView* view, const NMLVFINDITEMW* find)
{
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz)
        return -1;
    return view->calls->findShownName(view->model, find->lvfi.psz, find->iStart);
}

bool HandleListNotification(ListView* view, const NMHDR* header, LRESULT* result, int* sortedColumn)
{
    *result = 0;
    *sortedColumn = -1;
    if (header->hwndFrom == ListHeader(view)) {
        // A hidden column keeps no width: its divider cannot be dragged.
        switch (header->code) {
        case HDN_BEGINTRACKW:
        case HDN_BEGINTRACKA:
        case HDN_DIVIDERDBLCLICKW:
        case HDN_DIVIDERDBLCLICKA:
            *result = IsListColumnHidden(view, ((const NMHEADERW*)header)->iItem) ? TRUE : FALSE;
            return true;
        }
        return false;
    }
    if (header->hwndFrom != view->list)
        return false;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        FillItemDisplay(view, (NMLVDISPINFOW*)header);
        return true;
    case LVN_ODFINDITEMW:
        *result = FindItemByName(view, (const NMLVFINDITEMW*)header);
        return true;
    case LVN_COLUMNCLICK:
        ChangeListSort(view, ((const NMLISTVIEW*)header)->iSubItem);
        *sortedColumn = view->sortColumn;
        return true;
    }
    return false;
}

void RedrawListRows(const ListView* view, int first, int last)
{
    int top = (int)SendMessageW(view->list, LVM_GETTOPINDEX, 0, 0);
    // The page's count leaves out a row cut by the bottom edge.
    int bottom = top + (int)SendMessageW(view->list, LVM_GETCOUNTPERPAGE, 0, 0);
    first = std::max(first, top);
    last = std::min(last, bottom);
    if (first <= last)
        SendMessageW(view->list, LVM_REDRAWITEMS, first, last);
}

int SelectedListIndex(const ListView* view)
{
    return ItemWith(view->list, LVNI_SELECTED);
}

void SelectListItem(const ListView* view, int index)
{
    SetItemState(view->list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(view->list, LVM_ENSUREVISIBLE, index, FALSE);
}

POINT ListMenuPoint(const ListView* view, LPARAM position)
{
    POINT point = {(short)LOWORD(position), (short)HIWORD(position)};
    int index = SelectedListIndex(view);
    if (position != (LPARAM)-1 || index < 0)
        return point;
    RECT rect;
    rect.left = LVIR_LABEL;
    SendMessageW(view->list, LVM_GETITEMRECT, index, (LPARAM)&rect);
    point.x = rect.left;
    point.y = rect.bottom;
    ClientToScreen(view->list, &point);
    return point;
}

static bool ComesBefore(ListRowCompare compare, const void* model, int a, int b, int column, bool descending)
{
    int order = compare(model, a, b, column);
    return descending ? order > 0 : order < 0;
}

// A bottom-up merge sort over one scratch buffer from the process heap:
// std::stable_sort would link the C++ exception runtime, and with it
// imports Windows XP lacks. Without the buffer it sorts by insertion.
void SortListRows(int* shown, int count, ListRowCompare compare, const void* model, int column, bool descending)
{
    if (count < 2)
        return;
    int* scratch = (int*)HeapAlloc(GetProcessHeap(), 0, (size_t)count * sizeof(int));
    if (!scratch) {
        for (int i = 1; i < count; ++i) {
            int row = shown[i];
            int j = i;
            for (; j > 0 && ComesBefore(compare, model, row, shown[j - 1], column, descending); --j)
                shown[j] = shown[j - 1];
            shown[j] = row;
        }
        return;
    }
    int* from = shown;
    int* to = scratch;
    for (int width = 1; width < count; width *= 2) {
        for (int start = 0; start < count; start += 2 * width) {
            int middle = std::min(start + width, count);
            int end = std::min(start + 2 * width, count);
            int left = start, right = middle, out = start;
            while (left < middle && right < end)
                to[out++] = ComesBefore(compare, model, from[right], from[left], column, descending) ? from[right++]
                                                                                                   : from[left++];
            while (left < middle)
                to[out++] = from[left++];
            while (right < end)
                to[out++] = from[right++];
        }
        int* swap = from;
        from = to;
        to = swap;
    }
    if (from != shown)
        CopyMemory(shown, from, (size_t)count * sizeof(int));
    HeapFree(GetProcessHeap(), 0, scratch);
}
