// One report list for every window's rows: a virtual list view
// (LVS_OWNERDATA) whose items are its model's shown rows, columns from the
// window's table, sorting by a header click through the model's one
// comparison, the selection, focus and top row kept by each row's key as
// rows come and go, type-ahead, a refresh that leaves an unchanged list
// alone, and the columns' saved order, widths and hidden ones with the
// header's menu. The window keeps the record; window thread only.
#pragma once
#include <windows.h>
#include <commctrl.h>

const int LIST_VIEW_COLUMNS = 32;

struct ListColumn {
    UINT titleId;
    int width;  // at 96 DPI
    int format;
};

// What the list asks of its model (the window's rows). A key names a row
// for as long as it lives (a PID, an entry's number); 0 is no row.
struct ListModelCalls {
    int (*shownCount)(const void* model);
    ULONG_PTR (*shownKey)(const void* model, int index);
    int (*findShownKey)(const void* model, ULONG_PTR key);  // -1 when not shown
    // Picks and orders the shown rows for the filter, the window's switches
    // (as its model reads them) and the sort.
    void (*showMatching)(void* model, const wchar_t* filter, DWORD switches, int sortColumn, bool descending);
    // The cell's text; `scratch` (`capacity` characters) is there for a
    // text the row does not hold, such as a number.
    const wchar_t* (*cellText)(const void* model, int index, int column, wchar_t* scratch, size_t capacity);
    int (*iconIndex)(const void* model, int index);  // I_IMAGENONE for a list without icons
    // Type-ahead: the first shown row from `start` on (wrapping) whose first
    // column starts with `prefix`; -1 when none does.
    int (*findShownName)(const void* model, const wchar_t* prefix, int start);
    // A list that can show a tree: the row's depth (0 at the top) and its
    // box (LIST_NO_BOX...). NULL for a flat list.
    int (*treeLevel)(const void* model, int index, int* box);
};

// A row's box in a tree: its state image.
const int LIST_NO_BOX = 0;
const int LIST_BOX_COLLAPSED = 1;
const int LIST_BOX_EXPANDED = 2;

struct ListView {
    HWND list;
    const ListColumn* columns;
    int columnCount;
    const wchar_t* layoutSetting;  // REG_BINARY value the layout is saved in
    const int* defaultOrder;       // the columns' order with no saved layout; NULL: as listed
    const ListModelCalls* calls;
    void* model;
    int sortColumn;
    bool descending;
    DWORD hidden;  // a bit per column
    bool tree;     // rows indented by their depth, with their boxes
    int widthsBeforeHiding[LIST_VIEW_COLUMNS];  // at 96 DPI
};

// What a window's list is made of: its columns, saved layout and model's calls.
struct ListViewShape {
    const ListColumn* columns;
    int columnCount;
    const wchar_t* layoutSetting;
    const int* defaultOrder;  // NULL: as listed
    const ListModelCalls* calls;
};
// CreateListView with the shape's fields and `model` set on `view` first.
bool CreateShapedListView(ListView* view, const ListViewShape* shape, void* model, HWND parent, UINT id, UINT dpi);

// Makes the list as the window's child `id` with the columns at `dpi` and
// the saved layout on them. `view` has its columns, count (at most
// LIST_VIEW_COLUMNS), setting, calls and model set. False when it cannot.
bool CreateListView(ListView* view, HWND parent, UINT id, HINSTANCE instance, UINT dpi);

// Shows the model's matching rows and brings the list in line: its count,
// the selected and focused rows at their new places, and the top row kept in
// place by its key. The same rows in the same order touch the list not at
// all: a change of a row's text is for the caller to draw.
void ShowListRows(ListView* view, const wchar_t* filter, DWORD switches);
// A header click: that column, or the other way when it is the sorted one.
// The caller shows the rows again, then calls EnsureSelectionVisible.
void ChangeListSort(ListView* view, int column);
void ShowListSortArrow(const ListView* view);
void EnsureSelectionVisible(const ListView* view);

// The list's own notifications (display text, type-ahead, a hidden column's
// divider, the sort by a header click): true with *result set when handled.
// A header click comes back as *sortedColumn (else -1) for the caller to show.
bool HandleListNotification(ListView* view, const NMHDR* header, LRESULT* result, int* sortedColumn);

// Draws the shown rows `first` to `last` again where they are in view;
// rows out of view are drawn when they come into it.
void RedrawListRows(const ListView* view, int first, int last);
// Shows the rows as a tree with `boxes` (a collapsed and an expanded box;
// the caller keeps the image list), or flat again. The caller shows the rows.
void ShowListAsTree(ListView* view, bool tree, HIMAGELIST boxes);
// The shown index of the row whose box is at the list's client point, or -1.
int ListBoxAt(const ListView* view, POINT point);

// The shown index of the selected item, or -1.
int SelectedListIndex(const ListView* view);
// Orders a model's shown row numbers by its comparison of two rows in a
// column, rows that compare equal kept in the order they had.
typedef int (*ListRowCompare)(const void* model, int a, int b, int column);
void SortListRows(int* shown, int count, ListRowCompare compare, const void* model, int column, bool descending);

// Where a row's menu opens: at the mouse, or from the keyboard (position -1)
// below the selected row's label.
POINT ListMenuPoint(const ListView* view, LPARAM position);
// Selects and focuses the item, and scrolls it into view.
void SelectListItem(const ListView* view, int index);

// The columns' layout: saved at 96 DPI, so a move to another monitor keeps
// it; a saved value of another size, or with an order that is not one of the
// columns, is ignored whole.
void SaveListLayout(const ListView* view, UINT dpi);
bool IsListColumnHidden(const ListView* view, int column);
// Hides a shown column or shows a hidden one at its width before; the first
// column always shows. Saved at once.
void ToggleListColumn(ListView* view, UINT dpi, int column);
// WM_CONTEXTMENU over the list or its header: the header's menu (each
// column's title, checked when shown) when over the header, true then.
bool ShowListColumnMenuAt(ListView* view, HWND owner, HWND clicked, UINT dpi, LPARAM position);
