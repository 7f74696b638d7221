#include "app/process_window.h"
#include <commctrl.h>
#include <limits.h>
#include <shellapi.h>
#include <strsafe.h>
#include "app/app_state.h"
#include "app/file_lookup.h"
#include "app/process_list.h"
#include "app/process_window_dpi.h"
#include "app/row_commands.h"
#include "app/row_details.h"
#include "app/unverified_switch.h"
#include "app/window_finder.h"
#include "app/window_placement.h"
#include "core/settings.h"
#include "core/window_dpi.h"
#include "core/window_class.h"
#include "lookup/lookup_worker.h"
#include "resource.h"

static const wchar_t processWindowClass[] = L"TavrowenProcesses";

static const UINT_PTR REFRESH_TIMER = 1;
static const UINT REFRESH_PERIOD_MS = 2000;
// At 96 DPI: room for all six columns.
static const int DEFAULT_WIDTH = 760;
static const int DEFAULT_HEIGHT = 480;
static const int FILTER_CAPACITY = MAX_PATH;

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
};

struct ProcessWindowState {
    HWND window;
    HWND filter;
    HWND list;
    HWND focusBeforeDeactivation;
    ProcessWindowDpi scale;
    bool restoringPlacement;
    bool timerRunning;
    int sortColumn;
    bool sortDescending;
    wchar_t checkingText[32];
    ProcessList rows;
};

static ProcessWindowState processWindow;

// The list's order, in the direction the user chose.
static int CALLBACK CompareListedRows(LPARAM first, LPARAM second, LPARAM column)
{
    int order = CompareProcessRows((const ProcessRow*)first, (const ProcessRow*)second, (int)column);
    return processWindow.sortDescending ? -order : order;
}

// ---- The list view ------------------------------------------------------------

static int FindListItem(const ProcessRow* row)
{
    LVFINDINFOW find;
    ZeroMemory(&find, sizeof(find));
    find.flags = LVFI_PARAM;
    find.lParam = (LPARAM)row;
    return (int)SendMessageW(processWindow.list, LVM_FINDITEMW, (WPARAM)-1, (LPARAM)&find);
}

// The icon and every column but the name.
static void ShowRowInItem(ProcessRow* row, int index)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = row->iconIndex;
    SendMessageW(processWindow.list, LVM_SETITEMW, 0, (LPARAM)&item);
    wchar_t processId[16];
    StringCchPrintfW(processId, ARRAYSIZE(processId), L"%lu", row->processId);
    wchar_t* texts[COLUMN_COUNT] = {NULL, processId, row->description, row->company, row->signer, row->folder};
    for (int column = COLUMN_PID; column < COLUMN_COUNT; ++column) {
        item.iSubItem = column;
        item.pszText = texts[column];
        SendMessageW(processWindow.list, LVM_SETITEMTEXTW, index, (LPARAM)&item);
    }
}

static void AddListItem(ProcessRow* row)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = INT_MAX;
    item.pszText = row->imageName;
    item.lParam = (LPARAM)row;
    int index = (int)SendMessageW(processWindow.list, LVM_INSERTITEMW, 0, (LPARAM)&item);
    if (index < 0)
        return;
    row->listed = true;
    ShowRowInItem(row, index);
}

static void RemoveListItem(ProcessRow* row)
{
    int index = FindListItem(row);
    if (index >= 0)
        SendMessageW(processWindow.list, LVM_DELETEITEM, index, 0);
    row->listed = false;
}

static void SortList()
{
    SendMessageW(processWindow.list, LVM_SORTITEMS, processWindow.sortColumn, (LPARAM)CompareListedRows);
}

static void ShowSortArrow()
{
    HWND header = (HWND)SendMessageW(processWindow.list, LVM_GETHEADER, 0, 0);
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        HDITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.mask = HDI_FORMAT;
        if (!SendMessageW(header, HDM_GETITEMW, column, (LPARAM)&item))
            continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == processWindow.sortColumn)
            item.fmt |= processWindow.sortDescending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, column, (LPARAM)&item);
    }
}

// Brings the list in line with the rows and the filter: items come and go
// one by one, so the others keep their selection, focus and scrolling. The
// list stops drawing while they do: it would otherwise work out its view for
// each item, which made a first listing of 150 processes cost 300 ms.
static void SyncListWithRows()
{
    wchar_t filter[FILTER_CAPACITY] = L"";
    GetWindowTextW(processWindow.filter, filter, ARRAYSIZE(filter));
    bool unverifiedOnly = IsUnverifiedOnly(processWindow.window);
    bool changing = false;
    bool added = false;
    for (int i = 0; i < processWindow.rows.rowCount; ++i) {
        ProcessRow* row = processWindow.rows.rows[i];
        bool wanted = RowMatchesFilter(row, filter, unverifiedOnly);
        if (row->listed == wanted)
            continue;
        if (!changing)
            SendMessageW(processWindow.list, WM_SETREDRAW, FALSE, 0);
        changing = true;
        if (wanted) {
            AddListItem(row);
            added = true;
        } else {
            RemoveListItem(row);
        }
    }
    if (added)
        SortList();
    if (changing) {
        SendMessageW(processWindow.list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(processWindow.list, NULL, FALSE);
    }
}

void RefreshProcessWindow()
{
    if (!processWindow.window || !RefreshProcessList(&processWindow.rows))
        return;
    for (int i = 0; i < processWindow.rows.rowCount; ++i) {
        ProcessRow* row = processWindow.rows.rows[i];
        if (!row->seen && row->listed)
            RemoveListItem(row);
    }
    DropExitedRows(&processWindow.rows);
    SyncListWithRows();
    StartReadingRowDetails();
}

// WM_ROW_DETAILS_READ: the rows of that file (one request serves every
// process of it) show what was read, and the filter and order take it in.
static void ShowReadDetails(LPARAM id)
{
    RowDetails details;
    if (!TakeRowDetails(id, &details))
        return;
    for (int i = 0; i < processWindow.rows.rowCount; ++i) {
        ProcessRow* row = processWindow.rows.rows[i];
        if ((LPARAM)row->detailsId != id)
            continue;
        FillRowDetails(row, &details);
        int index = row->listed ? FindListItem(row) : -1;
        if (index >= 0)
            ShowRowInItem(row, index);
    }
    SyncListWithRows();
    if (processWindow.sortColumn != COLUMN_PROCESS && processWindow.sortColumn != COLUMN_PID)
        SortList();
}

// WM_ROW_SIGNER_CHECKED: likewise for the signer of a file.
static void ShowCheckedSigner(LPARAM id)
{
    SignerCheck check;
    if (!TakeRowSigner(id, &check))
        return;
    for (int i = 0; i < processWindow.rows.rowCount; ++i) {
        ProcessRow* row = processWindow.rows.rows[i];
        if ((LPARAM)row->signerId != id)
            continue;
        FillRowSigner(row, &check);
        int index = row->listed ? FindListItem(row) : -1;
        if (index >= 0)
            ShowRowInItem(row, index);
    }
    SyncListWithRows();
    if (processWindow.sortColumn == COLUMN_SIGNER)
        SortList();
}

// ---- Commands -------------------------------------------------------------------

static void FocusList()
{
    SetFocus(processWindow.list);
    if (SelectedItem(processWindow.list) >= 0 || SendMessageW(processWindow.list, LVM_GETITEMCOUNT, 0, 0) == 0)
        return;
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(processWindow.list, LVM_SETITEMSTATE, 0, (LPARAM)&item);
}

static void FocusFilter()
{
    SetFocus(processWindow.filter);
    SendMessageW(processWindow.filter, EM_SETSEL, 0, -1);
}

static void RunWindowCommand(WORD command)
{
    switch (command) {
    case IDOK:  // Enter
        if (GetFocus() == processWindow.filter)
            FocusList();
        else
            LookUpRow(RowOfItem(processWindow.list, SelectedItem(processWindow.list)));
        break;
    case IDCANCEL:  // Esc
        DestroyWindow(processWindow.window);
        break;
    case IDM_LOOK_UP_ROW:
        LookUpRow(RowOfItem(processWindow.list, SelectedItem(processWindow.list)));
        break;
    case IDM_OPEN_LOCATION:
        OpenRowLocation(processWindow.window, RowOfItem(processWindow.list, SelectedItem(processWindow.list)));
        break;
    case IDM_COPY_PATH:
        CopyRowPath(processWindow.window, RowOfItem(processWindow.list, SelectedItem(processWindow.list)));
        break;
    case IDM_FIND_WINDOW_PROCESS:
        FindProcessOfWindowBehind(processWindow.window);
        break;
    case IDM_UNVERIFIED_ONLY:
        ToggleUnverifiedOnly(processWindow.window);
        SyncListWithRows();
        break;
    case IDC_PROCESS_UNVERIFIED:  // clicked: the box has changed already
        SaveUnverifiedOnly(processWindow.window);
        SyncListWithRows();
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
    SortList();
    ShowSortArrow();
    int index = SelectedItem(processWindow.list);
    if (index >= 0)
        SendMessageW(processWindow.list, LVM_ENSUREVISIBLE, index, FALSE);
}

static LRESULT RunListNotification(const NMHDR* header)
{
    switch (header->code) {
    case LVN_GETINFOTIPW:
        FillRowTip(processWindow.list, (NMLVGETINFOTIPW*)header);
        break;
    case NM_DBLCLK:
        LookUpRow(RowOfItem(processWindow.list, ((const NMITEMACTIVATE*)header)->iItem));
        break;
    case NM_RETURN:
        LookUpRow(RowOfItem(processWindow.list, SelectedItem(processWindow.list)));
        break;
    case LVN_COLUMNCLICK:
        SortByColumn(((const NMLISTVIEW*)header)->iSubItem);
        break;
    }
    return 0;
}

// ---- The window ----------------------------------------------------------------

static void AddColumns()
{
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        wchar_t title[64];
        if (!LoadStringW(appState.instance, columns[column].titleId, title, ARRAYSIZE(title)))
            title[0] = L'\0';
        LVCOLUMNW spec;
        ZeroMemory(&spec, sizeof(spec));
        spec.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        spec.fmt = columns[column].format;
        spec.cx = ScaleForDpi(columns[column].width, processWindow.scale.dpi);
        spec.pszText = title;
        spec.iSubItem = column;
        SendMessageW(processWindow.list, LVM_INSERTCOLUMNW, column, (LPARAM)&spec);
    }
}

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
                      LVS_SHAREIMAGELISTS;
    processWindow.filter = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", filterStyle, 0, 0, 0, 0, window,
                                           (HMENU)(UINT_PTR)IDC_PROCESS_FILTER, appState.instance, NULL);
    processWindow.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", listStyle, 0, 0, 0, 0, window,
                                         (HMENU)(UINT_PTR)IDC_PROCESS_LIST, appState.instance, NULL);
    if (!processWindow.filter || !processWindow.list || !CreateWindowFinder(window))
        return false;
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
    AddColumns();
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
    ZeroMemory(&processWindow, sizeof(processWindow));
}

static LRESULT CALLBACK ProcessWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        processWindow.window = window;
        processWindow.rows.detailsWindow = window;
        if (LoadStringW(appState.instance, IDS_CHECKING_SIGNER, processWindow.checkingText,
                        ARRAYSIZE(processWindow.checkingText)))
            processWindow.rows.checkingText = processWindow.checkingText;
        if (!CreateControls(window))
            return -1;
        RefreshProcessWindow();
        ShowSortArrow();
        RunRefreshTimer(true);
        DragAcceptFiles(window, TRUE);
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            RunRefreshTimer(false);
            return 0;
        }
        // Back from the taskbar: catch up at once.
        if (!processWindow.timerRunning) {
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
                SyncListWithRows();
        } else {
            RunWindowCommand(LOWORD(wParam));
        }
        return 0;
    case WM_NOTIFY:
        if (((const NMHDR*)lParam)->hwndFrom == processWindow.list)
            return RunListNotification((const NMHDR*)lParam);
        return 0;
    case WM_SETCURSOR:
        // The list and the filter ask us first: busy while a lookup is read.
        if (LOWORD(lParam) == HTCLIENT && IsLookupPending()) {
            SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU:
        if ((HWND)wParam == processWindow.list)
            ShowRowMenu(processWindow.window, processWindow.list, lParam);
        return 0;
    case WM_DROPFILES:
        LookUpDroppedFiles((HDROP)wParam);
        return 0;
    case WM_DESTROY:
        KillTimer(window, REFRESH_TIMER);
        CancelRowDetails(window);
        SaveWindowPlacement(window, placementSetting);
        return 0;
    case WM_NCDESTROY:
        ForgetWindow();
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static bool RegisterProcessWindowClass()
{
    // Shared icons: the system frees them.
    HICON icon = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    HICON smallIcon = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    return RegisterOwnWindowClass(appState.instance, processWindowClass, ProcessWindowProc, 0, IDC_ARROW,
                                  COLOR_BTNFACE, icon, smallIcon);
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
    if (!RegisterProcessWindowClass())
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

// Keys of the whole window, before the dialog keys (Tab, Enter, Esc).
static bool RunWindowKey(const MSG* message)
{
    bool control = GetKeyState(VK_CONTROL) < 0;
    bool alt = message->message == WM_SYSKEYDOWN;
    switch (message->wParam) {
    case 'F':
        if (!control && !alt)
            return false;
        FocusFilter();
        return true;
    case 'U':
        if (!control || alt)
            return false;
        RunWindowCommand(IDM_UNVERIFIED_ONLY);
        return true;
    case VK_F5:
        RefreshProcessWindow();
        return true;
    case VK_DOWN:
        if (message->hwnd != processWindow.filter)
            return false;
        FocusList();
        return true;
    }
    return false;
}

bool HandleProcessWindowMessage(MSG* message)
{
    HWND window = processWindow.window;
    if (!window || (message->hwnd != window && !IsChild(window, message->hwnd)))
        return false;
    if ((message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN) && RunWindowKey(message))
        return true;
    return IsDialogMessageW(window, message) != FALSE;
}
