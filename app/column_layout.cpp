#include "app/column_layout.h"
#include <commctrl.h>
#include "app/process_list.h"
#include "app/process_view.h"
#include "core/settings.h"
#include "core/window_dpi.h"
#include "resource.h"

// As saved: widths at 96 DPI, so a move to another monitor keeps them.
struct SavedColumns {
    DWORD columnCount;
    INT order[COLUMN_COUNT];
    INT widths[COLUMN_COUNT];
    DWORD hidden;  // a bit per column
};

static const int WIDEST_COLUMN = 4096;

static DWORD hiddenColumns;
static int widthsBeforeHiding[COLUMN_COUNT];  // at 96 DPI

static bool IsWellFormed(const SavedColumns* saved)
{
    if (saved->columnCount != COLUMN_COUNT || (saved->hidden & 1) || saved->hidden >> COLUMN_COUNT)
        return false;
    DWORD seen = 0;
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        if (saved->order[i] < 0 || saved->order[i] >= COLUMN_COUNT || saved->widths[i] < 0 ||
            saved->widths[i] > WIDEST_COLUMN)
            return false;
        seen |= 1u << saved->order[i];
    }
    return seen == (1u << COLUMN_COUNT) - 1;
}

void RestoreColumnLayout(HWND list, UINT dpi)
{
    hiddenColumns = 0;
    for (int column = 0; column < COLUMN_COUNT; ++column)
        widthsBeforeHiding[column] = DefaultColumnWidth(column);
    SavedColumns saved;
    DWORD bytes = 0;
    if (!ReadBinarySetting(processColumnsSetting, &saved, sizeof(saved), &bytes) || bytes != sizeof(saved) ||
        !IsWellFormed(&saved))
        return;
    SendMessageW(list, LVM_SETCOLUMNORDERARRAY, COLUMN_COUNT, (LPARAM)saved.order);
    hiddenColumns = saved.hidden;
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        widthsBeforeHiding[column] = saved.widths[column];
        int width = IsColumnHidden(column) ? 0 : ScaleForDpi(saved.widths[column], dpi);
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
    }
}

void SaveColumnLayout(HWND list, UINT dpi)
{
    SavedColumns saved;
    ZeroMemory(&saved, sizeof(saved));
    saved.columnCount = COLUMN_COUNT;
    saved.hidden = hiddenColumns;
    if (!SendMessageW(list, LVM_GETCOLUMNORDERARRAY, COLUMN_COUNT, (LPARAM)saved.order))
        return;
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        int width = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0);
        saved.widths[column] = IsColumnHidden(column) ? widthsBeforeHiding[column] : MulDiv(width, 96, (int)dpi);
        if (saved.widths[column] > WIDEST_COLUMN)
            saved.widths[column] = WIDEST_COLUMN;
    }
    if (IsWellFormed(&saved) && EnsureSettingsKey())
        WriteBinarySetting(processColumnsSetting, &saved, sizeof(saved));
}

bool IsColumnHidden(int column)
{
    return column >= 0 && column < COLUMN_COUNT && (hiddenColumns & (1u << column)) != 0;
}

void ToggleColumn(HWND list, UINT dpi, int column)
{
    if (column <= 0 || column >= COLUMN_COUNT)
        return;
    int width = 0;
    if (IsColumnHidden(column)) {
        hiddenColumns &= ~(1u << column);
        width = ScaleForDpi(widthsBeforeHiding[column] ? widthsBeforeHiding[column] : DefaultColumnWidth(column), dpi);
    } else {
        widthsBeforeHiding[column] = MulDiv((int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), 96, (int)dpi);
        hiddenColumns |= 1u << column;
    }
    SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
    SaveColumnLayout(list, dpi);
}

void ShowColumnMenu(HWND owner, HWND list, UINT dpi, POINT screenPoint)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        wchar_t title[64] = L"";
        LVCOLUMNW spec;
        ZeroMemory(&spec, sizeof(spec));
        spec.mask = LVCF_TEXT;
        spec.pszText = title;
        spec.cchTextMax = ARRAYSIZE(title);
        SendMessageW(list, LVM_GETCOLUMNW, column, (LPARAM)&spec);
        UINT flags = MF_STRING | (IsColumnHidden(column) ? MF_UNCHECKED : MF_CHECKED) | (column == 0 ? MF_GRAYED : 0);
        AppendMenuW(menu, flags, IDM_TOGGLE_COLUMN + column, title);
    }
    UINT chosen = (UINT)TrackPopupMenuEx(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD, screenPoint.x, screenPoint.y, owner,
                                         NULL);
    DestroyMenu(menu);
    if (chosen >= IDM_TOGGLE_COLUMN && chosen < IDM_TOGGLE_COLUMN + COLUMN_COUNT)
        ToggleColumn(list, dpi, (int)(chosen - IDM_TOGGLE_COLUMN));
}
