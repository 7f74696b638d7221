#include "app/process_window.h"
#include <commctrl.h>
#include <limits.h>
#include <shellapi.h>
#include <strsafe.h>
#include "app/accessible_names.h"
#include "app/app_state.h"
#include "app/column_layout.h"
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
#include "core/settings.h"
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

struct ProcessWindowState {
    HWND window;
    HWND filter;
    HWND list;
    HWND focusBeforeDeactivation;
    HACCEL keys;
    ProcessWindowDpi scale;
    bool restoringPlacement;
    bool timerRunning;
    bool paused;  // Ctrl+P: no refreshing until pressed again
    int sortColumn;
    bool sortDescending;
    wchar_t checkingText[32];
    wchar_t changedText[64];  // " (changed after the process started)"
    ProcessList rows;
};

static ProcessWindowState processWindow;

static void RunRefreshTimer(bool run);

// ---- The rows -----------------------------------------------------------------

// Shows the rows that pass the filter, in the chosen order.
static void ShowRows()
{
    wchar_t filter[FILTER_CAPACITY] = L"";
    GetWindowTextW(processWindow.filter, filter, ARRAYSIZE(filter));
    RowView view = {filter, IsUnverifiedOnly(processWindow.window), processWindow.sortColumn,
                    processWindow.sortDescending};
    ShowProcessRows(processWindow.list, &processWindow.rows, &view);
}

void RefreshProcessWindow()
{
    if (!processWindow.window)
        return;
    // The new rows' reads wait until the rows are shown: their file work,
    // DLL loading above all, would otherwise slow the listing.
    HoldJobLane(LANE_READS);
    if (RefreshProcessList(&processWindow.rows)) {
        DropExitedRows(&processWindow.rows);
        RequestRowReads(&processWindow.rows, processWindow.window, processWindow.checkingText);
        RequestRowPayloads(&processWindow.rows, processWindow.window);
        RequestRowNotes(&processWindow.rows, processWindow.window);
        ShowRows();
    }
    ReleaseJobLane(LANE_READS);
}

// Whether what was read for a column can change which rows show or their order.
static bool IsShownByColumn(int column)
{
    wchar_t first[2] = L"";
    GetWindowTextW(processWindow.filter, first, ARRAYSIZE(first));
    return first[0] != L'\0' || processWindow.sortColumn == column ||
           (column == COLUMN_SIGNER && IsUnverifiedOnly(processWindow.window));
}

// WM_ROW_PAYLOAD_READ and WM_ROW_PAYLOAD_CHECKED: a row's command line and
// payload, then its payload files' signers.
static void ShowRowPayload(UINT message, LPARAM id)
{
    ProcessRow* row = message == WM_ROW_PAYLOAD_READ ? TakeRowPayload(&processWindow.rows, processWindow.window, id)
                                                     : TakePayloadSigners(&processWindow.rows, processWindow.window, id);
    if (!row)
        return;
    if (IsShownByColumn(COLUMN_RUNS) || IsShownByColumn(COLUMN_COMMAND_LINE) || IsShownByColumn(COLUMN_SIGNER))
        ShowRows();
    // Shown in the same place, the row still has new text to draw.
    if (row->shownAt >= 0)
        SendMessageW(processWindow.list, LVM_REDRAWITEMS, row->shownAt, row->shownAt);
}

// WM_ROW_DETAILS_READ: the rows of that file (one job serves every process
// of it) show what was read, and the filter and order take it in.
static void ShowReadDetails(LPARAM id)
{
    RowDetails details;
    if (!TakeRowDetails(processWindow.window, id, &details) ||
        !FillRowDetails(&processWindow.rows, (LONG)id, &details))
        return;
    if (IsShownByColumn(COLUMN_DESCRIPTION) || IsShownByColumn(COLUMN_COMPANY) || IsShownByColumn(COLUMN_FOLDER))
        ShowRows();
    InvalidateRect(processWindow.list, NULL, FALSE);
}

// WM_ROW_SIGNER_CHECKED: likewise for the signer of a file.
static void ShowCheckedSigner(LPARAM id)
{
    SignerCheck check;
    bool changed = false;
    if (!TakeRowSigner(processWindow.window, id, &check, &changed) ||
        !FillRowSigner(&processWindow.rows, (LONG)id, &check, changed ? processWindow.changedText : NULL))
        return;
    if (IsShownByColumn(COLUMN_SIGNER))
        ShowRows();
    InvalidateRect(processWindow.list, NULL, FALSE);
}

// WM_ROW_NOTES_READ: likewise for a row's notes.
static void ShowReadNotes(LPARAM id)
{
    if (!TakeRowNotes(processWindow.window, id, &processWindow.rows))
        return;
    if (IsShownByColumn(COLUMN_NOTES))
        ShowRows();
    InvalidateRect(processWindow.list, NULL, FALSE);
}

// The finder found a window: the filter is cleared and the row of the
// process owning it is selected, focused and scrolled to.
static void ShowRowOfProcess(DWORD processId)
{
    // A process started since the last refresh has no row yet.
    RefreshProcessWindow();
    SetWindowTextW(processWindow.filter, L"");
    int index = FindShownProcess(&processWindow.rows, processId);
    if (index < 0) {
        // Gone between the pointing and the looking.
        MessageBeep(MB_OK);
        return;
    }
    SelectProcessItem(processWindow.list, index);
    SetFocus(processWindow.list);
}

// ---- Commands -------------------------------------------------------------------

static void FocusList()
{
    SetFocus(processWindow.list);
    if (SelectedRow(processWindow.list, &processWindow.rows) || processWindow.rows.shownCount == 0)
        return;
    SelectProcessItem(processWindow.list, 0);
}

static void FocusFilter()
{
    SetFocus(processWindow.filter);
    SendMessageW(processWindow.filter, EM_SETSEL, 0, -1);
}

static void RunWindowCommand(WORD command)
{
    if (command >= IDM_LOOK_UP_PAYLOAD_FILE && command < IDM_LOOK_UP_PAYLOAD_FILE + HOST_PAYLOAD_FILES) {
        LookUpRowPayload(SelectedRow(processWindow.list, &processWindow.rows), command - IDM_LOOK_UP_PAYLOAD_FILE);
        return;
    }
    switch (command) {
    case IDOK:  // Enter
        if (GetFocus() == processWindow.filter)
            FocusList();
        else
            LookUpRow(SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case IDCANCEL:  // Esc
        DestroyWindow(processWindow.window);
        break;
    case IDM_LOOK_UP_ROW:
        LookUpRow(SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case IDM_LOOK_UP_PAYLOAD:  // Ctrl+Enter
        LookUpSelectedPayload(processWindow.window, processWindow.list, &processWindow.rows);
        break;
    case IDM_OPEN_LOCATION:
        OpenRowLocation(processWindow.window, SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case IDM_COPY_PATH:
        CopyRowPath(processWindow.window, SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case IDM_PROPERTIES:
        ShowPropertiesWindow(processWindow.window, SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case IDM_COPY_PROPERTIES:  // Ctrl+C: the filter keeps its own
        if (GetFocus() == processWindow.filter)
            SendMessageW(processWindow.filter, WM_COPY, 0, 0);
        else if (GetFocus() == processWindow.list)
            CopyRowProperties(processWindow.window, SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case IDM_REFRESH:
        RefreshProcessWindow();
        break;
    case IDM_FOCUS_FILTER:
        FocusFilter();
        break;
    case IDM_PAUSE_REFRESH:  // Ctrl+P
        processWindow.paused = !processWindow.paused;
        RunRefreshTimer(!processWindow.paused);
        ShowRefreshPaused(processWindow.window, processWindow.paused);
        break;
    case IDM_FIND_WINDOW_PROCESS:
        FindProcessOfWindowBehind(processWindow.window);
        break;
    case IDM_UNVERIFIED_ONLY:
        ToggleUnverifiedOnly(processWindow.window);
        ShowRows();
        break;
    case IDC_PROCESS_UNVERIFIED:  // clicked: the box has changed already
        SaveUnverifiedOnly(processWindow.window);
        ShowRows();
        break;
    }
}

static void SortByColumn(int column)
{
    if (column == processWindow.sortColumn) {
        processWindow.sortDescending = !processWindow.sortDescending;
    } else {
        processWindow.sortColumn = column;
        processWindow.sortDescending = false;
    }
    ShowRows();
    ShowSortArrow(processWindow.list, processWindow.sortColumn, processWindow.sortDescending);
    int index = (int)SendMessageW(processWindow.list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    if (index >= 0)
        SendMessageW(processWindow.list, LVM_ENSUREVISIBLE, index, FALSE);
}

static LRESULT RunListNotification(const NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOW:
        FillItemDisplay(&processWindow.rows, (NMLVDISPINFOW*)header);
        break;
    case LVN_ODFINDITEMW:
        return FindItemByName(&processWindow.rows, (const NMLVFINDITEMW*)header);
    case LVN_GETINFOTIPW:
        FillRowTip(&processWindow.rows, (NMLVGETINFOTIPW*)header);
        AppendRowNotesTip(&processWindow.rows, (NMLVGETINFOTIPW*)header);
        break;
    case NM_DBLCLK:
        LookUpRow(ShownRow(&processWindow.rows, ((const NMITEMACTIVATE*)header)->iItem));
        break;
    case NM_RETURN:
        LookUpRow(SelectedRow(processWindow.list, &processWindow.rows));
        break;
    case LVN_COLUMNCLICK:
        SortByColumn(((const NMLISTVIEW*)header)->iSubItem);
        break;
    }
    return 0;
}

// ---- The header -----------------------------------------------------------------

static HWND ListHeader()
{
    return (HWND)SendMessageW(processWindow.list, LVM_GETHEADER, 0, 0);
}

// A right-click at a screen point over the list's header.
static bool IsOverHeader(LPARAM position)
{
    RECT header;
    POINT point = {(short)LOWORD(position), (short)HIWORD(position)};
    return position != -1 && GetWindowRect(ListHeader(), &header) && PtInRect(&header, point);
}

// The header's menu opens where clicked, or at the header's corner from the keyboard.
static POINT MenuPoint(LPARAM position)
{
    POINT point = {(short)LOWORD(position), (short)HIWORD(position)};
    RECT header;
    if (position == -1 && GetWindowRect(ListHeader(), &header)) {
        point.x = header.left;
        point.y = header.bottom;
    }
    return point;
}

// A hidden column keeps no width: its divider cannot be dragged.
static LRESULT RunHeaderNotification(const NMHDR* header)
{
    if (header->hwndFrom != ListHeader())
        return 0;
    switch (header->code) {
    case HDN_BEGINTRACKW:
    case HDN_BEGINTRACKA:
    case HDN_DIVIDERDBLCLICKW:
    case HDN_DIVIDERDBLCLICKA:
        return IsColumnHidden(((const NMHEADERW*)header)->iItem) ? TRUE : FALSE;
    }
    return 0;
}

// ---- The window ----------------------------------------------------------------

// The system's image list of small icons, shared: the list never frees it.
static void UseSystemIcons()
{
    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    HIMAGELIST icons = (HIMAGELIST)SHGetFileInfoW(L".exe", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                                                  SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    processWindow.rows.genericIcon = icons ? info.iIcon : I_IMAGENONE;
    if (icons)
        SendMessageW(processWindow.list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)icons);
}

static bool CreateControls(HWND window)
{
    DWORD filterStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    DWORD listStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                      LVS_SHAREIMAGELISTS | LVS_OWNERDATA;
    processWindow.filter = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", filterStyle, 0, 0, 0, 0, window,
                                           (HMENU)(UINT_PTR)IDC_PROCESS_FILTER, appState.instance, NULL);
    processWindow.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", listStyle, 0, 0, 0, 0, window,
                                         (HMENU)(UINT_PTR)IDC_PROCESS_LIST, appState.instance, NULL);
    if (!processWindow.filter || !processWindow.list || !CreateWindowFinder(window))
        return false;
    GiveAccessibleName(processWindow.filter, IDS_FILTER_LABEL, 0);
    if (!CreateUnverifiedSwitch(window, NULL))
        return false;
    SendMessageW(processWindow.filter, EM_LIMITTEXT, FILTER_CAPACITY - 1, 0);
    wchar_t cue[64];
    // Only with common controls 6; elsewhere the field is simply blank.
    if (LoadStringW(appState.instance, IDS_FILTER_CUE, cue, ARRAYSIZE(cue)))
        SendMessageW(processWindow.filter, EM_SETCUEBANNER, TRUE, (LPARAM)cue);
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
    SendMessageW(processWindow.list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    UseSystemIcons();
    ApplyProcessWindowDpi(&processWindow.scale, window, processWindow.list, ReadWindowDpi(window));
    AddProcessColumns(processWindow.list, appState.instance, processWindow.scale.dpi);
    RestoreColumnLayout(processWindow.list, processWindow.scale.dpi);
    processWindow.keys = LoadAcceleratorsW(appState.instance, MAKEINTRESOURCEW(IDR_PROCESS_KEYS));
    return true;
}

static void LayOutControls(int width, int height)
{
    int margin = processWindow.scale.margin;
    int filterHeight = processWindow.scale.filterHeight;
    int listTop = margin + filterHeight + margin;
    int filterLeft = PlaceWindowFinder(processWindow.window, margin, filterHeight);
    int filterRight = PlaceUnverifiedSwitch(processWindow.window, width - margin, margin, filterHeight);
    int filterWidth = filterRight - margin - filterLeft;
    MoveWindow(processWindow.filter, filterLeft, margin, filterWidth > 0 ? filterWidth : 0, filterHeight, TRUE);
    MoveWindow(processWindow.list, 0, listTop, width, height > listTop ? height - listTop : 0, TRUE);
}

// Refreshing runs only while the window can be seen.
static void RunRefreshTimer(bool run)
{
    if (run && !processWindow.timerRunning)
        processWindow.timerRunning = SetTimer(processWindow.window, REFRESH_TIMER, REFRESH_PERIOD_MS, NULL) != 0;
    else if (!run && processWindow.timerRunning)
        processWindow.timerRunning = !KillTimer(processWindow.window, REFRESH_TIMER);
}

static void ForgetWindow()
{
    FreeProcessList(&processWindow.rows);
    ReleaseProcessWindowDpi(&processWindow.scale);
    if (processWindow.keys)
        DestroyAcceleratorTable(processWindow.keys);
    ZeroMemory(&processWindow, sizeof(processWindow));
}

static LRESULT CALLBACK ProcessWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT colored = 0;
    if (HandleColorModeMessage(window, message, wParam, lParam, &colored))
        return colored;
    switch (message) {
    case WM_CREATE:
        processWindow.window = window;
        LoadStringW(appState.instance, IDS_CHECKING_SIGNER, processWindow.checkingText,
                    ARRAYSIZE(processWindow.checkingText));
        LoadStringW(appState.instance, IDS_CHANGED_AFTER_START, processWindow.changedText,
                    ARRAYSIZE(processWindow.changedText));
        if (!CreateControls(window))
            return -1;
        ApplyColorMode(window);
        RefreshProcessWindow();
        ShowSortArrow(processWindow.list, processWindow.sortColumn, processWindow.sortDescending);
        RunRefreshTimer(true);
        DragAcceptFiles(window, TRUE);
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            RunRefreshTimer(false);
            return 0;
        }
        // Back from the taskbar: catch up at once, unless paused.
        if (!processWindow.timerRunning && !processWindow.paused) {
            RefreshProcessWindow();
            RunRefreshTimer(true);
        }
        LayOutControls(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_DPICHANGED: {
        // A stored rectangle was measured at the DPI of the monitor it lies
        // on: moved there to be restored, the window keeps it as it is.
        ChangeProcessWindowDpi(&processWindow.scale, window, processWindow.list,
                               LOWORD(wParam), processWindow.restoringPlacement ? NULL : (const RECT*)lParam);
        RECT client;
        if (GetClientRect(window, &client))
            LayOutControls(client.right, client.bottom);
        return 0;
    }
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        // High contrast on or off: every control draws again in the new colours.
        SendMessageW(processWindow.list, WM_SYSCOLORCHANGE, 0, 0);
        RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        break;
    case WM_GETMINMAXINFO:
        LimitProcessWindowSize(&processWindow.scale, window, (MINMAXINFO*)lParam);
        return 0;
    case WM_TIMER:
        if (wParam == REFRESH_TIMER)
            RefreshProcessWindow();
        return 0;
    case WM_ROW_DETAILS_READ:
        ShowReadDetails(lParam);
        return 0;
    case WM_ROW_SIGNER_CHECKED:
        ShowCheckedSigner(lParam);
        return 0;
    case WM_ROW_PAYLOAD_READ:
    case WM_ROW_PAYLOAD_CHECKED:
        ShowRowPayload(message, lParam);
        return 0;
    case WM_ROW_NOTES_READ:
        ShowReadNotes(lParam);
        return 0;
    case WM_SHEET_COPY_READ:
        FinishRowPropertiesCopy(window, lParam);
        return 0;
    case WM_FINDER_FOUND_PROCESS:
        ShowRowOfProcess((DWORD)wParam);
        return 0;
    case WM_ACTIVATE:
        // Give the focus back where it was, as a dialog does.
        if (LOWORD(wParam) == WA_INACTIVE)
            processWindow.focusBeforeDeactivation = GetFocus();
        else
            SetFocus(IsChild(window, processWindow.focusBeforeDeactivation) ? processWindow.focusBeforeDeactivation
                                                                            : processWindow.filter);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PROCESS_FILTER) {
            if (HIWORD(wParam) == EN_CHANGE)
                ShowRows();
        } else {
            RunWindowCommand(LOWORD(wParam));
        }
        return 0;
    case WM_NOTIFY:
        if (((const NMHDR*)lParam)->hwndFrom == processWindow.list)
            return RunListNotification((const NMHDR*)lParam);
        return RunHeaderNotification((const NMHDR*)lParam);
    case WM_SETCURSOR:
        // The list and the filter ask us first: busy while a lookup is read.
        if (LOWORD(lParam) == HTCLIENT && IsLookupPending()) {
            SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU:
        if ((HWND)wParam == processWindow.list && !IsOverHeader(lParam))
            ShowRowMenu(processWindow.window, processWindow.list, &processWindow.rows, lParam);
        else if ((HWND)wParam == processWindow.list || (HWND)wParam == ListHeader())
            ShowColumnMenu(window, processWindow.list, processWindow.scale.dpi, MenuPoint(lParam));
        return 0;
    case WM_DROPFILES:
        LookUpDroppedFiles((HDROP)wParam);
        return 0;
    case WM_DESTROY:
        KillTimer(window, REFRESH_TIMER);
        CancelWindowJobs(window);
        SaveColumnLayout(processWindow.list, processWindow.scale.dpi);
        SaveWindowPlacement(window, placementSetting);
        return 0;
    case WM_NCDESTROY:
        ForgetWindow();
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ShowProcessWindow()
{
    HWND window = processWindow.window;
    if (window) {
        if (IsIconic(window))
            ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
        return;
    }
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    if (!RegisterProgramWindowClass(processWindowClass, ProcessWindowProc))
        return;
    wchar_t title[128];
    if (!LoadStringW(appState.instance, IDS_PROCESSES_TITLE, title, ARRAYSIZE(title)))
        title[0] = L'\0';
    UINT dpi = ReadWindowDpi(NULL);
    window = CreateWindowExW(0, processWindowClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, ScaleForDpi(DEFAULT_WIDTH, dpi), ScaleForDpi(DEFAULT_HEIGHT, dpi), NULL,
                             NULL, appState.instance, NULL);
    if (!window)
        return;
    processWindow.restoringPlacement = true;
    int show = RestoreWindowPlacement(window, placementSetting);
    processWindow.restoringPlacement = false;
    ShowWindow(window, show);
    SetForegroundWindow(window);
    FocusFilter();
}

void CloseProcessWindow()
{
    if (processWindow.window)
        DestroyWindow(processWindow.window);
}

HWND ProcessWindowHandle()
{
    return processWindow.window;
}

// A control that takes every key itself (the finder during a drag) gets
// them before the window's keys.
static bool WantsEveryKey(const MSG* message)
{
    if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN && message->message != WM_CHAR)
        return false;
    LRESULT code = SendMessageW(message->hwnd, WM_GETDLGCODE, message->wParam, (LPARAM)message);
    return (code & DLGC_WANTALLKEYS) != 0;
}

bool HandleProcessWindowMessage(MSG* message)
{
    if (HandlePropertiesWindowMessage(message))
        return true;
    HWND window = processWindow.window;
    if (!window || (message->hwnd != window && !IsChild(window, message->hwnd)))
        return false;
    if (!WantsEveryKey(message) && processWindow.keys && TranslateAcceleratorW(window, processWindow.keys, message))
        return true;
    // Down in the filter goes on to the list, as in a combo box.
    if (message->message == WM_KEYDOWN && message->wParam == VK_DOWN && message->hwnd == processWindow.filter) {
        FocusList();
        return true;
    }
    return IsDialogMessageW(window, message) != FALSE;
}
