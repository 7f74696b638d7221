#include "app/process_window.h"
#include "core/program_text.h"
#include "app/process_window_state.h"
#include "app/list_window.h"
#include <commctrl.h>
#include <limits.h>
#include <shellapi.h>
#include <strsafe.h>
#include "app/accessible_names.h"
#include "app/app_state.h"
#include "app/list_view.h"
#include "app/dark_mode.h"
#include "app/file_lookup.h"
#include "app/process_list.h"
#include "app/process_view.h"
#include "app/process_window_dpi.h"
#include "app/program_icons.h"
#include "app/properties_window.h"
#include "app/refresh_pause.h"
#include "app/row_commands.h"
#include "app/row_details.h"
#include "app/row_notes.h"
#include "app/row_payloads.h"
#include "app/sheet_reads.h"
#include "app/unverified_switch.h"
#include "app/window_finder.h"
#include "app/window_placement.h"
#include "core/background_jobs.h"
#include "core/program_text.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/window_dpi.h"
#include "lookup/process_lookup.h"
#include "resource.h"

static const wchar_t processWindowClass[] = L"TavrowenProcesses";

static const UINT_PTR REFRESH_TIMER = 1;
static const UINT REFRESH_PERIOD_MS = 2000;
// At 96 DPI: room for the first six columns.
static const int DEFAULT_WIDTH = 760;
static const int DEFAULT_HEIGHT = 480;
static const int FILTER_CAPACITY = MAX_PATH;

static ProcessWindowState* StateOf(HWND window)
{
    return static_cast<ProcessWindowState*>(ListWindowRecord(window));
}

// ---- The rows -----------------------------------------------------------------

// Shows the rows that pass the filter, in the chosen order.
void ShowProcessRows(ProcessWindowState* state)
{
    wchar_t filter[FILTER_CAPACITY] = L"";
    GetWindowTextW(state->filter, filter, ARRAYSIZE(filter));
    DWORD switches = (IsUnverifiedOnly(state->window) ? ROWS_UNVERIFIED_ONLY : 0) | (state->tree ? ROWS_AS_TREE : 0);
    ShowListRows(&state->view, filter, switches);
}

void RefreshProcessRows(ProcessWindowState* state)
{
    // The new rows' reads wait until the rows are shown: their file work,
    // DLL loading above all, would otherwise slow the listing.
    HoldJobLane(LANE_READS);
    if (RefreshProcessList(&state->rows)) {
        DropExitedRows(&state->rows);
        NoteRowParents(&state->rows);
        RequestRowReads(&state->rows, state->window, state->checkingText);
        RequestRowPayloads(&state->rows, state->window);
        RequestRowNotes(&state->rows, state->window);
        ShowProcessRows(state);
    }
    ReleaseJobLane(LANE_READS);
}

void RefreshProcessWindow()
{
    ProcessWindowState* state = StateOf(ProcessWindowHandle());
    if (state)
        RefreshProcessRows(state);
}

// Whether what was read for a column can change which rows show or their order.
static bool IsShownByColumn(const ProcessWindowState* state, int column)
{
    wchar_t first[2] = L"";
    GetWindowTextW(state->filter, first, ARRAYSIZE(first));
    return first[0] != L'\0' || state->view.sortColumn == column ||
           (column == COLUMN_SIGNER && IsUnverifiedOnly(state->window));
}

// WM_ROW_PAYLOAD_READ and WM_ROW_PAYLOAD_CHECKED: a row's command line and
// payload, then its payload files' signers.
static void ShowRowPayload(ProcessWindowState* state, UINT message, LPARAM id)
{
    ProcessRow* row = message == WM_ROW_PAYLOAD_READ ? TakeRowPayload(&state->rows, state->window, id)
                                                     : TakePayloadSigners(&state->rows, state->window, id);
    if (!row)
        return;
    if (IsShownByColumn(state, COLUMN_RUNS) || IsShownByColumn(state, COLUMN_COMMAND_LINE) ||
        IsShownByColumn(state, COLUMN_SIGNER))
        ShowProcessRows(state);
    // Shown in the same place, the row still has new text to draw.
    if (row->shownAt >= 0)
        SendMessageW(state->list, LVM_REDRAWITEMS, row->shownAt, row->shownAt);
}

// The rows a result gave new text, where they show: most results of the
// first reads are for rows out of view, which then cost no drawing at all.
static void RedrawChangedRows(ProcessWindowState* state)
{
    int first = 0, last = 0;
    if (TakeChangedRows(&state->rows, &first, &last))
        RedrawListRows(&state->view, first, last);
}

// WM_ROW_DETAILS_READ: the rows of that file (one job serves every process
// of it) show what was read, and the filter and order take it in.
static void ShowReadDetails(ProcessWindowState* state, LPARAM id)
{
    RowDetails details;
    if (!TakeRowDetails(state->window, id, &details) || !FillRowDetails(&state->rows, (LONG)id, &details))
        return;
    if (IsShownByColumn(state, COLUMN_DESCRIPTION) || IsShownByColumn(state, COLUMN_COMPANY) ||
        IsShownByColumn(state, COLUMN_FOLDER))
        ShowProcessRows(state);
    RedrawChangedRows(state);
}

// WM_ROW_SIGNER_CHECKED: likewise for the signer of a file.
static void ShowCheckedSigner(ProcessWindowState* state, LPARAM id)
{
    SignerCheck check;
    bool changed = false;
    if (!TakeRowSigner(state->window, id, &check, &changed) ||
        !FillRowSigner(&state->rows, (LONG)id, &check, changed ? state->changedText : NULL))
        return;
    if (IsShownByColumn(state, COLUMN_SIGNER))
        ShowProcessRows(state);
    RedrawChangedRows(state);
}

// WM_ROW_NOTES_READ: likewise for a row's notes.
static void ShowReadNotes(ProcessWindowState* state, LPARAM id)
{
    if (!TakeRowNotes(state->window, id, &state->rows))
        return;
    // A child's notes may wait for its parent's.
    NoteRowParents(&state->rows);
    if (IsShownByColumn(state, COLUMN_NOTES))
        ShowProcessRows(state);
    RedrawChangedRows(state);
}

// The finder found a window: the filter is cleared and the row of the
// process owning it is selected, focused and scrolled to.
static void ShowRowOfProcess(ProcessWindowState* state, DWORD processId)
{
    // A process started since the last refresh has no row yet.
    RefreshProcessRows(state);
    SetWindowTextW(state->filter, L"");
    int index = FindShownProcess(&state->rows, processId);
    if (index < 0) {
        // Gone between the pointing and the looking.
        MessageBeep(MB_OK);
        return;
    }
    SelectListItem(&state->view, index);
    SetFocus(state->list);
}

// A finished background read: false when the message is none of them.
static bool ShowFinishedRead(ProcessWindowState* state, UINT message, LPARAM id)
{
    switch (message) {
    case WM_ROW_DETAILS_READ:
        ShowReadDetails(state, id);
        return true;
    case WM_ROW_SIGNER_CHECKED:
        ShowCheckedSigner(state, id);
        return true;
    case WM_ROW_PAYLOAD_READ:
    case WM_ROW_PAYLOAD_CHECKED:
        ShowRowPayload(state, message, id);
        return true;
    case WM_ROW_NOTES_READ:
        ShowReadNotes(state, id);
        return true;
    case WM_SHEET_COPY_READ:
        FinishRowPropertiesCopy(state->window, &state->copy, id);
        return true;
    }
    return false;
}

// ---- The window ----------------------------------------------------------------

// The system's image list of small icons, shared: the list never frees it.
static void UseSystemIcons(ProcessWindowState* state)
{
    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    HIMAGELIST icons = (HIMAGELIST)SHGetFileInfoW(L".exe", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                                                  SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    state->rows.genericIcon = icons ? info.iIcon : I_IMAGENONE;
    if (icons)
        SendMessageW(state->list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)icons);
}

// A screen reader hears a row's level in the tree ("level 2") first.
static bool DescribeTreeLevel(HWND list, long child, wchar_t* text, size_t capacity)
{
    const ProcessWindowState* state = StateOf(GetParent(list));
    const ProcessRow* row = state && state->tree ? ShownRow(&state->rows, (int)child - 1) : NULL;
    return row && FormatProgramText(text, capacity, IDS_TREE_LEVEL, row->depth + 1);
}

static bool CreateControls(ProcessWindowState* state)
{
    HWND window = state->window;
    static const ListViewShape shape = {processColumns, COLUMN_COUNT, processColumnsSetting, processColumnOrder,
                                        &processListCalls};
    if (!CreateListWindowControls(state, IDC_PROCESS_FILTER, FILTER_CAPACITY, &shape, &state->rows,
                                  IDC_PROCESS_LIST) ||
        !CreateWindowFinder(window))
        return false;
    GiveAccessibleItemDescriptions(state->list, 0, DescribeTreeLevel);
    if (!CreateUnverifiedSwitch(window, NULL))
        return false;
    UseSystemIcons(state);
    ApplyProcessWindowDpi(&state->scale, window, state->list, ReadWindowDpi(window));
    state->keys = LoadAcceleratorsW(appState.instance, MAKEINTRESOURCEW(IDR_PROCESS_KEYS));
    return true;
}

static void LayOutControls(ListWindowFrame* frame, int width, int height)
{
    int margin = frame->scale.margin;
    int filterHeight = frame->scale.filterHeight;
    int filterLeft = PlaceWindowFinder(frame->window, margin, filterHeight);
    int filterRight = PlaceUnverifiedSwitch(frame->window, width - margin, margin, filterHeight) - margin;
    PlaceListWindowControls(frame, filterLeft, filterRight, width, height);
}

// Refreshing runs only while the window can be seen.
void RunProcessRefreshTimer(ProcessWindowState* state, bool run)
{
    if (run && !state->timerRunning)
        state->timerRunning = SetTimer(state->window, REFRESH_TIMER, REFRESH_PERIOD_MS, NULL) != 0;
    else if (!run && state->timerRunning)
        state->timerRunning = !KillTimer(state->window, REFRESH_TIMER);
}

static bool StartWindow(ListWindowFrame* frame)
{
    ProcessWindowState* state = static_cast<ProcessWindowState*>(frame);
    HWND window = state->window;
    LoadProgramText(IDS_CHECKING_SIGNER, state->checkingText, ARRAYSIZE(state->checkingText));
    LoadProgramText(IDS_CHANGED_AFTER_START, state->changedText, ARRAYSIZE(state->changedText));
    if (!CreateControls(state))
        return false;
    ApplyColorMode(window);
    state->tree = ReadSetting(processTreeSetting);
    ShowProcessTree(state);
    RefreshProcessRows(state);
    ShowListSortArrow(&state->view);
    RunProcessRefreshTimer(state, true);
    DragAcceptFiles(window, TRUE);
    return true;
}

static void ForgetWindow(ListWindowFrame* frame)
{
    ProcessWindowState* state = static_cast<ProcessWindowState*>(frame);
    FreeProcessList(&state->rows);
    if (state->treeBoxes)
        ImageList_Destroy(state->treeBoxes);
}

static void ResizeWindow(ProcessWindowState* state, WPARAM kind, int width, int height)
{
    if (kind == SIZE_MINIMIZED) {
        RunProcessRefreshTimer(state, false);
        return;
    }
    // Back from the taskbar: catch up at once, unless paused.
    if (!state->timerRunning && !state->paused) {
        RefreshProcessRows(state);
        RunProcessRefreshTimer(state, true);
    }
    LayOutControls(state, width, height);
}

// The tree's boxes drawn again at the new DPI.
static void RescaleTree(ListWindowFrame* frame)
{
    ShowProcessTree(static_cast<ProcessWindowState*>(frame));
}

static void ShowRows(ListWindowFrame* frame)
{
    ShowProcessRows(static_cast<ProcessWindowState*>(frame));
}

static LRESULT RunWindowMessage(ListWindowFrame* frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    ProcessWindowState* state = static_cast<ProcessWindowState*>(frame);
    HWND window = state->window;
    switch (message) {
    case WM_SIZE:
        ResizeWindow(state, wParam, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == REFRESH_TIMER)
            RefreshProcessRows(state);
        return 0;
    case WM_FINDER_FOUND_PROCESS:
        ShowRowOfProcess(state, (DWORD)wParam);
        return 0;
    case WM_COMMAND:
        RunProcessWindowCommand(state, LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return RunProcessListNotification(state, (const NMHDR*)lParam);
    case WM_SETCURSOR:
        // The list and the filter ask us first: busy while a lookup is read.
        if (LOWORD(lParam) == HTCLIENT && IsLookupPending()) {
            SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU:
        ShowRowMenu(window, state->list, &state->rows, lParam);
        return 0;
    case WM_DROPFILES:
        LookUpDroppedFiles((HDROP)wParam);
        return 0;
    case WM_DESTROY:
        KillTimer(window, REFRESH_TIMER);
        return 0;
    default:
        if (ShowFinishedRead(state, message, lParam))
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The one Running Processes window the tray opens.
static ListWindowKind windowKind = {processWindowClass,
                                    IDS_PROCESSES_TITLE,
                                    DEFAULT_WIDTH,
                                    DEFAULT_HEIGHT,
                                    placementSetting,
                                    MakeListWindowRecord<ProcessWindowState>,
                                    FreeListWindowRecord<ProcessWindowState>,
                                    StartWindow,
                                    ForgetWindow,
                                    LayOutControls,
                                    RescaleTree,
                                    ShowRows,
                                    RunWindowMessage,
                                    NULL};

void ShowProcessWindow()
{
    OpenListWindow(&windowKind);
}

void CloseProcessWindow()
{
    CloseListWindow(&windowKind);
}

HWND ProcessWindowHandle()
{
    return windowKind.open;
}

bool HandleProcessWindowMessage(MSG* message)
{
    if (HandlePropertiesWindowMessage(message))
        return true;
    ProcessWindowState* state = StateOf(windowKind.open);
    if (!state || !ListWindowRecordForMessage(&windowKind, message))
        return false;
    // The tree's keys before the accelerators: the list's own Left and Right.
    if (message->message == WM_KEYDOWN && message->hwnd == state->list && state->tree &&
        RunProcessTreeKey(state, message->wParam))
        return true;
    return RunListWindowKeys(state, message);
}
