#include "app/process_window.h"
#include <commctrl.h>
#include <limits.h>
#include <psapi.h>
#include <shellapi.h>
#include <strsafe.h>
#include <tlhelp32.h>
#include "app/app_state.h"
#include "app/dialogs.h"
#include "app/elevation.h"
#include "app/settings.h"
#include "lookup/ascii_folding.h"
#include "lookup/executable_locator.h"
#include "lookup/folder_tokens.h"
#include "lookup/lookup_worker.h"
#include "lookup/process_details.h"
#include "lookup/version_info.h"
#include "resource.h"

static const wchar_t processWindowClass[] = L"TavrowenProcesses";
static const wchar_t placementSetting[] = L"ProcessWindowPlacement";
static const wchar_t hintSetting[] = L"ProcessesHintShown";

static const UINT_PTR REFRESH_TIMER = 1;
static const UINT REFRESH_PERIOD_MS = 2000;
static const UINT HINT_TIMEOUT_MS = 15000;
// At 96 DPI: room for all five columns.
static const int DEFAULT_WIDTH = 760;
static const int DEFAULT_HEIGHT = 480;
static const int MARGIN = 6;
static const int FILTER_CAPACITY = MAX_PATH;
static const DWORD PROCESS_QUERY_LIMITED = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, Vista and later

enum Column { COLUMN_PROCESS, COLUMN_PID, COLUMN_DESCRIPTION, COLUMN_COMPANY, COLUMN_FOLDER, COLUMN_COUNT };

struct ColumnSpec {
    UINT titleId;
    int width;  // at 96 DPI
    int format;
};

static const ColumnSpec columns[COLUMN_COUNT] = {
    {IDS_COLUMN_PROCESS, 150, LVCFMT_LEFT},
    {IDS_COLUMN_PID, 56, LVCFMT_RIGHT},
    {IDS_COLUMN_DESCRIPTION, 200, LVCFMT_LEFT},
    {IDS_COLUMN_COMPANY, 120, LVCFMT_LEFT},
    {IDS_COLUMN_FOLDER, 180, LVCFMT_LEFT},
};

// One running process as the window shows it; its icon, version strings and
// folder are read once, when the process first appears.
struct ProcessRow {
    DWORD processId;
    // Held while the row lives: no new process can take the PID meanwhile,
    // so the PID alone tells it apart. Null when the process cannot be opened;
    // then its creation time does.
    HANDLE process;
    ULONGLONG createdAt;
    bool hasPath;
    bool seen;    // in the latest snapshot
    bool listed;  // in the list view, that is passing the filter
    int iconIndex;
    wchar_t imageName[MAX_PATH];
    wchar_t exePath[MAX_PATH];
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
};

struct ProcessWindowState {
    HWND window;
    HWND filter;
    HWND list;
    HWND focusBeforeDeactivation;
    HFONT font;
    int filterHeight;
    int genericIcon;
    bool timerRunning;
    int sortColumn;
    bool sortDescending;
    ProcessRow** rows;
    int rowCount;
    int rowCapacity;
};

static ProcessWindowState processWindow;

static bool FindProcessPath(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    // The idle process has no file, and a module snapshot of PID 0 would be one of this process.
    if (process->th32ProcessID == 0)
        return false;
    // The system's image path where it has one (Vista and later) gives the
    // same file as the module list at a fraction of a module snapshot's cost,
    // which the window pays for every process it opens with.
    return QueryProcessImagePath(process->th32ProcessID, exePath) || FindModulePath(process, exePath);
}

ProcessPathSource processWindowPathSource = FindProcessPath;

// ---- Rows -------------------------------------------------------------------

static int CompareFolded(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        wchar_t x = FoldAsciiLetter(*a);
        wchar_t y = FoldAsciiLetter(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == L'\0')
            return 0;
    }
}

static bool ContainsFolded(const wchar_t* text, const wchar_t* part, size_t partLength)
{
    if (partLength == 0)
        return true;
    for (; *text; ++text) {
        if (EqualFoldingAsciiLetters(text, part, partLength))
            return true;
    }
    return false;
}

static bool RowMatchesFilter(const ProcessRow* row, const wchar_t* filter)
{
    size_t length = wcslen(filter);
    return ContainsFolded(row->imageName, filter, length) || ContainsFolded(row->description, filter, length) ||
           ContainsFolded(row->company, filter, length);
}

// The one order of the list: the chosen column, then the image name, then the PID.
static int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM column)
{
    const ProcessRow* a = (const ProcessRow*)first;
    const ProcessRow* b = (const ProcessRow*)second;
    int order = 0;
    switch (column) {
    case COLUMN_DESCRIPTION:
        order = CompareFolded(a->description, b->description);
        break;
    case COLUMN_COMPANY:
        order = CompareFolded(a->company, b->company);
        break;
    case COLUMN_FOLDER:
        order = CompareFolded(a->folder, b->folder);
        break;
    }
    if (order == 0 && column != COLUMN_PID)
        order = CompareFolded(a->imageName, b->imageName);
    if (order == 0 && a->processId != b->processId)
        order = a->processId < b->processId ? -1 : 1;
    return processWindow.sortDescending ? -order : order;
}

static ULONGLONG ReadCreationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!process || !GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

static DWORD ProcessQueryAccess()
{
    return SYNCHRONIZE | (IsVistaOrLater() ? PROCESS_QUERY_LIMITED : PROCESS_QUERY_INFORMATION);
}

// A row's process is still the one it shows: held (its PID cannot be reused
// meanwhile), or created at the same time.
static bool IsRowProcessAlive(const ProcessRow* row, DWORD access)
{
    if (row->process)
        return true;
    HANDLE opened = OpenProcess(access, FALSE, row->processId);
    ULONGLONG createdAt = ReadCreationTime(opened);
    if (opened)
        CloseHandle(opened);
    return createdAt == row->createdAt;
}

// Same PID and name, and the same process.
static bool IsSameProcess(const ProcessRow* row, const PROCESSENTRY32W* process, DWORD access)
{
    if (row->processId != process->th32ProcessID || wcscmp(row->imageName, process->szExeFile) != 0)
        return false;
    return IsRowProcessAlive(row, access);
}

static const ProcessRow* FindRowById(DWORD processId)
{
    for (int i = 0; i < processWindow.rowCount; ++i) {
        if (processWindow.rows[i]->processId == processId)
            return processWindow.rows[i];
    }
    return NULL;
}

// Most refreshes find the same processes. The process IDs alone tell, at a
// fraction of a snapshot's cost (under Wine a snapshot of 150 processes takes
// several times as long).
static bool AreProcessesUnchanged(DWORD access)
{
    DWORD ids[1024];
    DWORD bytes = 0;
    // A full buffer may have left processes out.
    if (!EnumProcesses(ids, sizeof(ids), &bytes) || bytes >= sizeof(ids))
        return false;
    int count = (int)(bytes / sizeof(DWORD));
    if (count != processWindow.rowCount)
        return false;
    for (int i = 0; i < count; ++i) {
        const ProcessRow* row = FindRowById(ids[i]);
        if (!row || !IsRowProcessAlive(row, access))
            return false;
    }
    return true;
}

static ProcessRow* FindRow(const PROCESSENTRY32W* process, DWORD access)
{
    for (int i = 0; i < processWindow.rowCount; ++i) {
        if (IsSameProcess(processWindow.rows[i], process, access))
            return processWindow.rows[i];
    }
    return NULL;
}

// Another process of the same file has been described already.
static const ProcessRow* FindRowOfFile(const ProcessRow* row)
{
    for (int i = 0; i < processWindow.rowCount; ++i) {
        const ProcessRow* other = processWindow.rows[i];
        if (other->hasPath && CompareFolded(other->exePath, row->exePath) == 0)
            return other;
    }
    return NULL;
}

static void DescribeFile(ProcessRow* row)
{
    VersionInfoBlock version;
    LoadVersionInfo(&version, row->exePath);
    QueryVersionString(&version, L"FileDescription", row->description);
    QueryVersionString(&version, L"CompanyName", row->company);
    FreeVersionInfo(&version);

    wchar_t directory[MAX_PATH];
    StringCchCopyW(directory, ARRAYSIZE(directory), row->exePath);
    wchar_t* lastBackslash = wcsrchr(directory, L'\\');
    if (lastBackslash)
        *lastBackslash = L'\0';
    ApplyFolderTokens(directory, row->folder);

    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    if (SHGetFileInfoW(row->exePath, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        row->iconIndex = info.iIcon;
}

static void DescribeRow(ProcessRow* row)
{
    row->iconIndex = processWindow.genericIcon;
    if (!row->hasPath)
        return;
    const ProcessRow* twin = FindRowOfFile(row);
    if (!twin) {
        DescribeFile(row);
        return;
    }
    row->iconIndex = twin->iconIndex;
    StringCchCopyW(row->description, ARRAYSIZE(row->description), twin->description);
    StringCchCopyW(row->company, ARRAYSIZE(row->company), twin->company);
    StringCchCopyW(row->folder, ARRAYSIZE(row->folder), twin->folder);
}

static void FreeRow(ProcessRow* row)
{
    if (row->process)
        CloseHandle(row->process);
    HeapFree(GetProcessHeap(), 0, row);
}

static bool AddRow(const PROCESSENTRY32W* process, DWORD access)
{
    if (processWindow.rowCount == processWindow.rowCapacity) {
        int capacity = processWindow.rowCapacity ? processWindow.rowCapacity * 2 : 256;
        SIZE_T bytes = capacity * sizeof(ProcessRow*);
        void* grown = processWindow.rows ? HeapReAlloc(GetProcessHeap(), 0, processWindow.rows, bytes)
                                         : HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!grown)
            return false;
        processWindow.rows = (ProcessRow**)grown;
        processWindow.rowCapacity = capacity;
    }
    ProcessRow* row = (ProcessRow*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessRow));
    if (!row)
        return false;
    row->processId = process->th32ProcessID;
    row->process = OpenProcess(access, FALSE, process->th32ProcessID);
    row->createdAt = ReadCreationTime(row->process);
    row->seen = true;
    StringCchCopyW(row->imageName, ARRAYSIZE(row->imageName), process->szExeFile);
    row->hasPath = processWindowPathSource(process, row->exePath);
    if (!row->hasPath)
        row->exePath[0] = L'\0';
    DescribeRow(row);
    processWindow.rows[processWindow.rowCount++] = row;
    return true;
}

static void FreeRows()
{
    for (int i = 0; i < processWindow.rowCount; ++i)
        FreeRow(processWindow.rows[i]);
    if (processWindow.rows)
        HeapFree(GetProcessHeap(), 0, processWindow.rows);
    processWindow.rows = NULL;
    processWindow.rowCount = 0;
    processWindow.rowCapacity = 0;
}

// ---- The list view ------------------------------------------------------------

static void AddListItem(ProcessRow* row)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = INT_MAX;
    item.pszText = row->imageName;
    item.iImage = row->iconIndex;
    item.lParam = (LPARAM)row;
    int index = (int)SendMessageW(processWindow.list, LVM_INSERTITEMW, 0, (LPARAM)&item);
    if (index < 0)
        return;
    row->listed = true;
    wchar_t processId[16];
    StringCchPrintfW(processId, ARRAYSIZE(processId), L"%lu", row->processId);
    wchar_t* texts[COLUMN_COUNT] = {NULL, processId, row->description, row->company, row->folder};
    for (int column = COLUMN_PID; column < COLUMN_COUNT; ++column) {
        item.iSubItem = column;
        item.pszText = texts[column];
        SendMessageW(processWindow.list, LVM_SETITEMTEXTW, index, (LPARAM)&item);
    }
}

static void RemoveListItem(ProcessRow* row)
{
    LVFINDINFOW find;
    ZeroMemory(&find, sizeof(find));
    find.flags = LVFI_PARAM;
    find.lParam = (LPARAM)row;
    int index = (int)SendMessageW(processWindow.list, LVM_FINDITEMW, (WPARAM)-1, (LPARAM)&find);
    if (index >= 0)
        SendMessageW(processWindow.list, LVM_DELETEITEM, index, 0);
    row->listed = false;
}

static ProcessRow* ListedRow(int index)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (index < 0 || !SendMessageW(processWindow.list, LVM_GETITEMW, 0, (LPARAM)&item))
        return NULL;
    return (ProcessRow*)item.lParam;
}

static int SelectedIndex()
{
    return (int)SendMessageW(processWindow.list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

static void SortList()
{
    SendMessageW(processWindow.list, LVM_SORTITEMS, processWindow.sortColumn, (LPARAM)CompareRows);
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
// one by one, so the others keep their selection, focus and scrolling.
static void SyncListWithRows()
{
    wchar_t filter[FILTER_CAPACITY] = L"";
    GetWindowTextW(processWindow.filter, filter, ARRAYSIZE(filter));
    bool added = false;
    for (int i = 0; i < processWindow.rowCount; ++i) {
        ProcessRow* row = processWindow.rows[i];
        bool wanted = RowMatchesFilter(row, filter);
        if (row->listed && !wanted) {
            RemoveListItem(row);
        } else if (!row->listed && wanted) {
            AddListItem(row);
            added = true;
        }
    }
    if (added)
        SortList();
}

static void DropExitedRows()
{
    int kept = 0;
    for (int i = 0; i < processWindow.rowCount; ++i) {
        ProcessRow* row = processWindow.rows[i];
        if (row->seen) {
            processWindow.rows[kept++] = row;
            continue;
        }
        if (row->listed)
            RemoveListItem(row);
        FreeRow(row);
    }
    processWindow.rowCount = kept;
}

void RefreshProcessWindow()
{
    if (!processWindow.window)
        return;
    DWORD access = ProcessQueryAccess();
    if (processWindow.rowCount > 0 && AreProcessesUnchanged(access))
        return;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    for (int i = 0; i < processWindow.rowCount; ++i)
        processWindow.rows[i]->seen = false;
    PROCESSENTRY32W process;
    ZeroMemory(&process, sizeof(process));
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot, &process); more; more = Process32NextW(snapshot, &process)) {
        ProcessRow* row = FindRow(&process, access);
        if (row)
            row->seen = true;
        else
            AddRow(&process, access);
    }
    CloseHandle(snapshot);
    DropExitedRows();
    SyncListWithRows();
}

// ---- Commands -------------------------------------------------------------------

static void LookUpRow(const ProcessRow* row)
{
    if (row)
        LookUpProcess(row->imageName, row->hasPath ? row->exePath : NULL);
}

static void OpenFileLocation(const ProcessRow* row)
{
    wchar_t parameters[MAX_PATH + 16];
    if (row && row->hasPath &&
        SUCCEEDED(StringCchPrintfW(parameters, ARRAYSIZE(parameters), L"/select,\"%s\"", row->exePath)))
        ShellExecuteW(processWindow.window, L"open", L"explorer.exe", parameters, NULL, SW_SHOWNORMAL);
}

static void CopyPath(const ProcessRow* row)
{
    if (!row || !row->hasPath)
        return;
    SIZE_T bytes = (wcslen(row->exePath) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return;
    bool handedOver = false;
    void* text = GlobalLock(memory);
    if (text) {
        CopyMemory(text, row->exePath, bytes);
        GlobalUnlock(memory);
        if (OpenClipboard(processWindow.window)) {
            EmptyClipboard();
            // The clipboard owns the memory once it has taken it.
            handedOver = SetClipboardData(CF_UNICODETEXT, memory) != NULL;
            CloseClipboard();
        }
    }
    if (!handedOver)
        GlobalFree(memory);
}

static void FocusList()
{
    SetFocus(processWindow.list);
    if (SelectedIndex() >= 0 || SendMessageW(processWindow.list, LVM_GETITEMCOUNT, 0, 0) == 0)
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
            LookUpRow(ListedRow(SelectedIndex()));
        break;
    case IDCANCEL:  // Esc
        DestroyWindow(processWindow.window);
        break;
    case IDM_LOOK_UP_ROW:
        LookUpRow(ListedRow(SelectedIndex()));
        break;
    case IDM_OPEN_LOCATION:
        OpenFileLocation(ListedRow(SelectedIndex()));
        break;
    case IDM_COPY_PATH:
        CopyPath(ListedRow(SelectedIndex()));
        break;
    }
}

// At the mouse, or below the selected row when asked from the keyboard (-1).
static void ShowRowMenu(LPARAM position)
{
    int index = SelectedIndex();
    POINT point = {(short)LOWORD(position), (short)HIWORD(position)};
    if (position == -1) {
        RECT rect;
        rect.left = LVIR_LABEL;
        if (index < 0 || !SendMessageW(processWindow.list, LVM_GETITEMRECT, index, (LPARAM)&rect))
            return;
        point.x = rect.left;
        point.y = rect.bottom;
        ClientToScreen(processWindow.list, &point);
    } else {
        LVHITTESTINFO hit;
        ZeroMemory(&hit, sizeof(hit));
        hit.pt = point;
        ScreenToClient(processWindow.list, &hit.pt);
        index = (int)SendMessageW(processWindow.list, LVM_HITTEST, 0, (LPARAM)&hit);
    }
    const ProcessRow* row = ListedRow(index);
    if (!row)
        return;
    HMENU menu = LoadMenuW(appState.instance, MAKEINTRESOURCEW(IDR_PROCESSMENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup) {
        UINT pathState = MF_BYCOMMAND | (row->hasPath ? MF_ENABLED : MF_GRAYED);
        SetMenuDefaultItem(popup, IDM_LOOK_UP_ROW, FALSE);
        EnableMenuItem(popup, IDM_OPEN_LOCATION, pathState);
        EnableMenuItem(popup, IDM_COPY_PATH, pathState);
        TrackPopupMenuEx(popup, TPM_RIGHTBUTTON, point.x, point.y, processWindow.window, NULL);
    }
    DestroyMenu(menu);
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
    int index = SelectedIndex();
    if (index >= 0)
        SendMessageW(processWindow.list, LVM_ENSUREVISIBLE, index, FALSE);
}

static LRESULT RunListNotification(const NMHDR* header)
{
    switch (header->code) {
    case NM_DBLCLK:
        LookUpRow(ListedRow(((const NMITEMACTIVATE*)header)->iItem));
        break;
    case NM_RETURN:
        LookUpRow(ListedRow(SelectedIndex()));
        break;
    case LVN_COLUMNCLICK:
        SortByColumn(((const NMLISTVIEW*)header)->iSubItem);
        break;
    }
    return 0;
}

// ---- The window ----------------------------------------------------------------

static int ScaleForDpi(int pixelsAt96)
{
    HDC screen = GetDC(NULL);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(NULL, screen);
    return MulDiv(pixelsAt96, dpi, 96);
}

// The message font of the desktop, for both controls.
static HFONT CreateMessageFont()
{
    NONCLIENTMETRICSW metrics;
    ZeroMemory(&metrics, sizeof(metrics));
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return NULL;
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

static int MeasureFilterHeight(HFONT font)
{
    int height = 0;
    HDC screen = GetDC(NULL);
    if (screen) {
        HGDIOBJ old = SelectObject(screen, font ? (HGDIOBJ)font : GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW metrics;
        if (GetTextMetricsW(screen, &metrics))
            height = metrics.tmHeight;
        SelectObject(screen, old);
        ReleaseDC(NULL, screen);
    }
    return (height > 0 ? height : 14) + 2 * GetSystemMetrics(SM_CYEDGE) + 6;
}

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
        spec.cx = ScaleForDpi(columns[column].width);
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
    processWindow.genericIcon = icons ? info.iIcon : I_IMAGENONE;
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
    if (!processWindow.filter || !processWindow.list)
        return false;
    processWindow.font = CreateMessageFont();
    if (processWindow.font) {
        SendMessageW(processWindow.filter, WM_SETFONT, (WPARAM)processWindow.font, FALSE);
        SendMessageW(processWindow.list, WM_SETFONT, (WPARAM)processWindow.font, FALSE);
    }
    processWindow.filterHeight = MeasureFilterHeight(processWindow.font);
    SendMessageW(processWindow.filter, EM_LIMITTEXT, FILTER_CAPACITY - 1, 0);
    wchar_t cue[64];
    // Only with common controls 6; elsewhere the field is simply blank.
    if (LoadStringW(appState.instance, IDS_FILTER_CUE, cue, ARRAYSIZE(cue)))
        SendMessageW(processWindow.filter, EM_SETCUEBANNER, TRUE, (LPARAM)cue);
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
    SendMessageW(processWindow.list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    AddColumns();
    UseSystemIcons();
    return true;
}

static void LayOutControls(int width, int height)
{
    int margin = ScaleForDpi(MARGIN);
    int listTop = margin + processWindow.filterHeight + margin;
    MoveWindow(processWindow.filter, margin, margin, width - 2 * margin, processWindow.filterHeight, TRUE);
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

static void SavePlacement(HWND window)
{
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof(placement));
    placement.length = sizeof(placement);
    if (GetWindowPlacement(window, &placement))
        WriteBinarySetting(placementSetting, &placement, sizeof(placement));
}

static void ForgetWindow()
{
    FreeRows();
    if (processWindow.font)
        DeleteObject(processWindow.font);
    ZeroMemory(&processWindow, sizeof(processWindow));
}

static LRESULT CALLBACK ProcessWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        processWindow.window = window;
        if (!CreateControls(window))
            return -1;
        RefreshProcessWindow();
        ShowSortArrow();
        RunRefreshTimer(true);
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
    case WM_TIMER:
        if (wParam == REFRESH_TIMER)
            RefreshProcessWindow();
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
            ShowRowMenu(lParam);
        return 0;
    case WM_DESTROY:
        KillTimer(window, REFRESH_TIMER);
        SavePlacement(window);
        return 0;
    case WM_NCDESTROY:
        ForgetWindow();
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static bool RegisterProcessWindowClass()
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ProcessWindowProc;
    windowClass.hInstance = appState.instance;
    windowClass.hCursor = LoadCursorW(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = processWindowClass;
    // Shared icons: the system frees them.
    windowClass.hIcon = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    windowClass.hIconSm = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Where a span of `length` starting at `start` lies wholly inside [low, high).
static LONG ClampStart(LONG start, LONG length, LONG low, LONG high)
{
    if (start > high - length)
        start = high - length;
    return start < low ? low : start;
}

// A stored rectangle that lies off every screen comes back onto the nearest one.
static void BringOntoMonitor(RECT* rect)
{
    if (MonitorFromRect(rect, MONITOR_DEFAULTTONULL))
        return;
    MONITORINFO monitor;
    ZeroMemory(&monitor, sizeof(monitor));
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromRect(rect, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top;
    if (width > work.right - work.left)
        width = work.right - work.left;
    if (height > work.bottom - work.top)
        height = work.bottom - work.top;
    rect->left = ClampStart(rect->left, width, work.left, work.right);
    rect->top = ClampStart(rect->top, height, work.top, work.bottom);
    rect->right = rect->left + width;
    rect->bottom = rect->top + height;
}

// Puts the window where it was last closed, or centred the first time;
// returns how to show it.
static int PlaceWindow(HWND window)
{
    WINDOWPLACEMENT placement;
    DWORD bytes = 0;
    bool stored = ReadBinarySetting(placementSetting, &placement, sizeof(placement), &bytes) &&
                  bytes == sizeof(placement) && placement.length == sizeof(placement) &&
                  placement.rcNormalPosition.right > placement.rcNormalPosition.left &&
                  placement.rcNormalPosition.bottom > placement.rcNormalPosition.top;
    if (!stored) {
        CentreWindow(NULL, window);
        return SW_SHOWNORMAL;
    }
    int show = placement.showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    BringOntoMonitor(&placement.rcNormalPosition);
    placement.flags = 0;
    placement.showCmd = SW_HIDE;
    SetWindowPlacement(window, &placement);
    return show;
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
    window = CreateWindowExW(0, processWindowClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, ScaleForDpi(DEFAULT_WIDTH), ScaleForDpi(DEFAULT_HEIGHT), NULL, NULL,
                             appState.instance, NULL);
    if (!window)
        return;
    ShowWindow(window, PlaceWindow(window));
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

static bool IsWindows8OrLater()
{
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!elevationGetVersion(&version))
        return false;
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
}

void ShowProcessesHintOnce()
{
    if (!IsWindows8OrLater() || ReadSetting(hintSetting))
        return;
    // The whole record as it was added, so the size it states is the size passed.
    TrayIconData hint = appState.trayIcon;
    hint.base.uFlags = NIF_INFO;
    hint.base.dwInfoFlags = NIIF_INFO;
    hint.base.uTimeout = HINT_TIMEOUT_MS;
    if (!LoadStringW(appState.instance, IDS_HINT_TITLE, hint.base.szInfoTitle, ARRAYSIZE(hint.base.szInfoTitle)) ||
        !LoadStringW(appState.instance, IDS_HINT_TEXT, hint.base.szInfo, ARRAYSIZE(hint.base.szInfo)))
        return;
    if (Shell_NotifyIconW(NIM_MODIFY, &hint.base))
        WriteSetting(hintSetting, 1);
}
