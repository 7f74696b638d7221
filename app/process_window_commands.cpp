#include "app/process_window_state.h"
#include "app/list_window.h"
#include <commctrl.h>
#include "app/process_view.h"
#include "app/properties_window.h"
#include "app/refresh_pause.h"
#include "app/row_commands.h"
#include "app/row_details.h"
#include "app/row_notes.h"
#include "app/sheet_reads.h"
#include "app/setting_names.h"
#include "app/startup_window.h"
#include "app/tree_boxes.h"
#include "app/unverified_switch.h"
#include "app/window_finder.h"
#include "core/settings.h"
#include "resource.h"

// One row selected at a time: the old one lets go before another is chosen.
static void SetItemStateOff(ProcessWindowState* state, int index)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(state->list, LVM_SETITEMSTATE, index, (LPARAM)&item);
}

void ShowProcessTree(ProcessWindowState* state)
{
    // The list lets go of the old boxes before they are destroyed.
    HIMAGELIST old = state->treeBoxes;
    state->treeBoxes = state->tree ? MakeTreeBoxes(state->scale.dpi) : NULL;
    ShowListAsTree(&state->view, state->tree, state->treeBoxes);
    if (old)
        ImageList_Destroy(old);
}

static void ToggleProcessTree(ProcessWindowState* state)
{
    state->tree = !state->tree;
    if (EnsureSettingsKey())
        WriteSetting(processTreeSetting, state->tree ? 1 : 0);
    ShowProcessTree(state);
    ShowProcessRows(state);
    EnsureSelectionVisible(&state->view);
}

static void ExpandProcessRow(ProcessWindowState* state, int index, bool expand, bool everyLevel)
{
    if (!ExpandShownRow(&state->rows, index, expand, everyLevel))
        return;
    ShowProcessRows(state);
    SendMessageW(state->list, LVM_REDRAWITEMS, index, index);
}

bool RunProcessTreeKey(ProcessWindowState* state, WPARAM key)
{
    int index = SelectedListIndex(&state->view);
    ProcessRow* row = ShownRow(&state->rows, index);
    if (!row || (key != VK_LEFT && key != VK_RIGHT && key != VK_MULTIPLY))
        return false;
    bool open = row->hasChildren && !row->collapsed;
    if (key == VK_MULTIPLY) {
        ExpandProcessRow(state, index, true, true);
    } else if (key == VK_RIGHT && row->hasChildren) {
        // An open row's Right goes to its first child, as in a tree view.
        if (open)
            SelectListItem(&state->view, index + 1);
        else
            ExpandProcessRow(state, index, true, false);
    } else if (key == VK_LEFT && open) {
        ExpandProcessRow(state, index, false, false);
    } else if (key == VK_LEFT && row->parentRow && row->parentRow->shownAt >= 0) {
        SetItemStateOff(state, index);
        SelectListItem(&state->view, row->parentRow->shownAt);
    }
    return true;
}

static void TogglePause(ProcessWindowState* state)
{
    state->paused = !state->paused;
    RunProcessRefreshTimer(state, !state->paused);
    ShowRefreshPaused(state->window, state->paused);
}

// The commands on the selected row; false when `command` is none of them.
static bool RunRowCommand(ProcessWindowState* state, WORD command)
{
    ProcessRow* row = SelectedRow(&state->view);
    if (command >= IDM_LOOK_UP_PAYLOAD_FILE && command < IDM_LOOK_UP_PAYLOAD_FILE + HOST_PAYLOAD_FILES) {
        LookUpRowPayload(row, command - IDM_LOOK_UP_PAYLOAD_FILE);
        return true;
    }
    switch (command) {
    case IDM_LOOK_UP_ROW:
        LookUpRow(row);
        return true;
    case IDM_LOOK_UP_PAYLOAD:  // Ctrl+Enter
        LookUpSelectedPayload(state->window, state->list, &state->rows);
        return true;
    case IDM_OPEN_LOCATION:
        OpenRowLocation(state->window, row);
        return true;
    case IDM_COPY_PATH:
        CopyRowPath(state->window, row);
        return true;
    case IDM_PROPERTIES:
        ShowPropertiesWindow(state->window, row);
        return true;
    case IDM_COPY_PROPERTIES:  // Ctrl+C: the filter keeps its own
        if (GetFocus() == state->filter)
            SendMessageW(state->filter, WM_COPY, 0, 0);
        else if (GetFocus() == state->list)
            CopyRowProperties(state->window, &state->copy, row);
        return true;
    case IDM_COPY_PROPERTIES_ENGLISH:  // Ctrl+Shift+C
        if (GetFocus() == state->list)
            CopyRowProperties(state->window, &state->copy, row, true);
        return true;
    }
    return false;
}

void RunProcessWindowCommand(ProcessWindowState* state, WORD command)
{
    if (RunRowCommand(state, command))
        return;
    switch (command) {
    case IDOK:  // Enter on the list
        LookUpRow(SelectedRow(&state->view));
        break;
    case IDM_REFRESH:
        RefreshProcessRows(state);
        break;
    case IDM_FOCUS_FILTER:
        FocusListFilter(state);
        break;
    case IDM_PAUSE_REFRESH:  // Ctrl+P
        TogglePause(state);
        break;
    case IDM_STARTUP_ENTRIES:
        ShowStartupWindow();
        break;
    case IDM_FIND_WINDOW_PROCESS:
        FindProcessOfWindowBehind(state->window);
        break;
    case IDM_SHOW_TREE:  // Ctrl+T
        ToggleProcessTree(state);
        break;
    case IDM_UNVERIFIED_ONLY:
        ToggleUnverifiedOnly(state->window);
        ShowProcessRows(state);
        break;
    case IDC_PROCESS_UNVERIFIED:  // clicked: the box has changed already
        SaveUnverifiedOnly(state->window);
        ShowProcessRows(state);
        break;
    }
}

LRESULT RunProcessListNotification(ProcessWindowState* state, const NMHDR* header)
{
    if (header->hwndFrom != state->list)
        return 0;
    switch (header->code) {
    case LVN_GETINFOTIPW:
        FillRowTip(&state->rows, (NMLVGETINFOTIPW*)header);
        AppendRowNotesTip(&state->rows, (NMLVGETINFOTIPW*)header);
        break;
    case NM_CLICK: {
        const NMITEMACTIVATE* click = (const NMITEMACTIVATE*)header;
        int index = ListBoxAt(&state->view, click->ptAction);
        const ProcessRow* row = ShownRow(&state->rows, index);
        if (row)
            ExpandProcessRow(state, index, row->collapsed, false);
        break;
    }
    case NM_DBLCLK:
        LookUpRow(ShownRow(&state->rows, ((const NMITEMACTIVATE*)header)->iItem));
        break;
    case NM_RETURN:
        LookUpRow(SelectedRow(&state->view));
        break;
    }
    return 0;
}

