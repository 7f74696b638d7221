// A stand-in for Windows Task Manager that keeps the window contract the
// program relies on (title from string 10003, dialog-class main window, a
// Processes page holding a report list titled "Processes" that answers
// Active Accessibility), and lets tests drive it (see standin_control.h).
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <tlhelp32.h>
#include <string>
#include <vector>
#include "standin_control.h"
#include "standin_resource.h"

// standin_accessible.cpp
IAccessible* CreateListAccessible(HWND list);

namespace {

const int PAGE_MARGIN = 4;
const int LIST_MARGIN = 7;

struct StandIn {
    HINSTANCE instance;
    HWND main;
    HWND page;
    HWND list;
    WNDPROC listProc;
    IAccessible* accessible;
    std::vector<std::wstring> rows;
    std::vector<DWORD> pids;  // of the rows from running processes, when shown
    bool showPids;            // /pid: a PID column after the name, as Task Manager offers
    int listTop;
};

StandIn standIn;

LRESULT CALLBACK ListSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETOBJECT && (DWORD)lParam == (DWORD)OBJID_CLIENT) {
        if (!standIn.accessible)
            standIn.accessible = CreateListAccessible(list);
        if (standIn.accessible)
            return LresultFromObject(accessibleInterfaceId, wParam, standIn.accessible);
    }
    if (message == WM_NCDESTROY && standIn.accessible) {
        standIn.accessible->Release();
        standIn.accessible = NULL;
    }
    return CallWindowProcW(standIn.listProc, list, message, wParam, lParam);
}

void FillList()
{
    if (!standIn.list)
        return;
    SendMessageW(standIn.list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(standIn.list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < standIn.rows.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = (int)i;
        item.pszText = const_cast<wchar_t*>(standIn.rows[i].c_str());
        SendMessageW(standIn.list, LVM_INSERTITEMW, 0, (LPARAM)&item);
        if (standIn.showPids && i < standIn.pids.size()) {
            wchar_t pid[16];
            wsprintfW(pid, L"%lu", standIn.pids[i]);
            item.iSubItem = 1;
            item.pszText = pid;
            SendMessageW(standIn.list, LVM_SETITEMTEXTW, i, (LPARAM)&item);
        }
    }
    SendMessageW(standIn.list, WM_SETREDRAW, TRUE, 0);
}

void LayOutPage()
{
    if (!standIn.page)
        return;
    RECT client;
    GetClientRect(standIn.main, &client);
    MoveWindow(standIn.page, PAGE_MARGIN, PAGE_MARGIN, client.right - 2 * PAGE_MARGIN,
               client.bottom - 2 * PAGE_MARGIN, TRUE);
}

void LayOutList()
{
    if (!standIn.list)
        return;
    RECT client;
    GetClientRect(standIn.page, &client);
    MoveWindow(standIn.list, LIST_MARGIN, standIn.listTop, client.right - 2 * LIST_MARGIN,
               client.bottom - LIST_MARGIN - standIn.listTop, TRUE);
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_SIZE:
        LayOutList();
        return TRUE;
    case WM_DESTROY:
        if (standIn.page == page) {
            standIn.page = NULL;
            standIn.list = NULL;
        }
        return TRUE;
    }
    return FALSE;
}

bool CreatePage()
{
    if (standIn.page)
        return true;
    standIn.page = CreateDialogParamW(standIn.instance, MAKEINTRESOURCEW(IDD_STANDIN_PAGE), standIn.main,
                                      PageProc, 0);
    if (!standIn.page)
        return false;
    standIn.list = GetDlgItem(standIn.page, IDC_STANDIN_LIST);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 150;
    column.pszText = const_cast<wchar_t*>(L"Image Name");
    SendMessageW(standIn.list, LVM_INSERTCOLUMNW, 0, (LPARAM)&column);
    column.cx = 80;
    column.pszText = const_cast<wchar_t*>(L"User Name");
    SendMessageW(standIn.list, LVM_INSERTCOLUMNW, 1, (LPARAM)&column);
    if (standIn.showPids) {
        column.cx = 50;
        column.pszText = const_cast<wchar_t*>(L"PID");
        SendMessageW(standIn.list, LVM_INSERTCOLUMNW, 1, (LPARAM)&column);
    }
    standIn.listProc = (WNDPROC)SetWindowLongPtrW(standIn.list, GWLP_WNDPROC, (LONG_PTR)ListSubclassProc);
    FillList();
    LayOutPage();
    LayOutList();
    return true;
}

int RowHeight()
{
    if (!standIn.list || SendMessageW(standIn.list, LVM_GETITEMCOUNT, 0, 0) == 0)
        return 0;
    RECT row = {};
    row.left = LVIR_BOUNDS;
    SendMessageW(standIn.list, LVM_GETITEMRECT, 0, (LPARAM)&row);
    return row.bottom - row.top;
}

// Sizes the window so the list shows exactly `rows` whole rows.
void FitRows(int rows)
{
    int rowHeight = RowHeight();
    if (!rowHeight || rows <= 0)
        return;
    for (int attempt = 0; attempt < 4; ++attempt) {
        int perPage = (int)SendMessageW(standIn.list, LVM_GETCOUNTPERPAGE, 0, 0);
        if (perPage == rows)
            return;
        RECT window;
        GetWindowRect(standIn.main, &window);
        int change = (rows - perPage) * rowHeight;
        SetWindowPos(standIn.main, NULL, 0, 0, window.right - window.left, window.bottom - window.top + change,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void ScrollTo(int top)
{
    if (!standIn.list)
        return;
    for (int step = 0; step < 1000; ++step) {
        int current = (int)SendMessageW(standIn.list, LVM_GETTOPINDEX, 0, 0);
        if (current == top)
            return;
        SendMessageW(standIn.list, WM_VSCROLL, current < top ? SB_LINEDOWN : SB_LINEUP, 0);
        if ((int)SendMessageW(standIn.list, LVM_GETTOPINDEX, 0, 0) == current)
            return;  // no further to go
    }
}

void SetRowsFromText(const std::wstring& text)
{
    standIn.rows.clear();
    standIn.pids.clear();
    size_t start = 0;
    for (;;) {
        size_t bar = text.find(L'|', start);
        standIn.rows.push_back(text.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start));
        if (bar == std::wstring::npos)
            break;
        start = bar + 1;
    }
}

bool IsWow64(HANDLE process)
{
    typedef BOOL(WINAPI * IsWow64ProcessProc)(HANDLE, PBOOL);
    IsWow64ProcessProc isWow64 =
        (IsWow64ProcessProc)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(process, &wow64) && wow64;
}

// Rows as Task Manager shows them: image names, 32-bit ones on a 64-bit
// system marked with " *32".
void SetRowsFromProcesses()
{
    standIn.rows.clear();
    standIn.pids.clear();
    bool system64 = sizeof(void*) == 8 || IsWow64(GetCurrentProcess());
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == 0)
            continue;
        std::wstring name = entry.szExeFile;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        if (process) {
            if (system64 && IsWow64(process))
                name += L" *32";
            CloseHandle(process);
        }
        standIn.rows.push_back(name);
        standIn.pids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
}

INT_PTR Answer(HWND dialog, LRESULT result)
{
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR OnCopyData(HWND dialog, const COPYDATASTRUCT* data)
{
    std::wstring text((const wchar_t*)data->lpData, data->cbData / sizeof(wchar_t));
    if (data->dwData == STANDIN_COPY_ADD_ROW) {
        standIn.rows.push_back(text);
        if (standIn.list) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = (int)standIn.rows.size() - 1;
            item.pszText = const_cast<wchar_t*>(standIn.rows.back().c_str());
            SendMessageW(standIn.list, LVM_INSERTITEMW, 0, (LPARAM)&item);
        }
        return Answer(dialog, TRUE);
    }
    if (data->dwData == STANDIN_COPY_SET_ROWS) {
        SetRowsFromText(text);
        FillList();
        return Answer(dialog, TRUE);
    }
    return Answer(dialog, FALSE);
}

INT_PTR CALLBACK MainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_SIZE:
        LayOutPage();
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    case WM_COPYDATA:
        return OnCopyData(dialog, (const COPYDATASTRUCT*)lParam);
    case STANDIN_SHOW:
        ShowWindow(dialog, (int)wParam);
        return Answer(dialog, TRUE);
    case STANDIN_RESIZE:
        SetWindowPos(dialog, NULL, 0, 0, (int)wParam, (int)lParam, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return Answer(dialog, TRUE);
    case STANDIN_SCROLL_TO:
        ScrollTo((int)wParam);
        return Answer(dialog, SendMessageW(standIn.list, LVM_GETTOPINDEX, 0, 0));
    case STANDIN_REMOVE_ROW:
        if (wParam < standIn.rows.size()) {
            standIn.rows.erase(standIn.rows.begin() + wParam);
            if (wParam < standIn.pids.size())
                standIn.pids.erase(standIn.pids.begin() + wParam);
            if (standIn.list)
                SendMessageW(standIn.list, LVM_DELETEITEM, wParam, 0);
        }
        return Answer(dialog, TRUE);
    case STANDIN_DESTROY_PAGE:
        if (standIn.page)
            DestroyWindow(standIn.page);
        return Answer(dialog, TRUE);
    case STANDIN_CREATE_PAGE:
        return Answer(dialog, CreatePage());
    case STANDIN_FIT_ROWS:
        FitRows((int)wParam);
        return Answer(dialog, SendMessageW(standIn.list, LVM_GETCOUNTPERPAGE, 0, 0));
    case STANDIN_MOVE_LIST:
        standIn.listTop = (int)wParam;
        LayOutList();
        return Answer(dialog, TRUE);
    case STANDIN_HANG:
        ReplyMessage(TRUE);
        Sleep(wParam ? (DWORD)wParam : STANDIN_HANG_DEFAULT_MS);
        return Answer(dialog, TRUE);
    case STANDIN_ROW_SPAN: {
        RECT row = {};
        row.left = LVIR_BOUNDS;
        if (!standIn.list || !SendMessageW(standIn.list, LVM_GETITEMRECT, wParam, (LPARAM)&row))
            return Answer(dialog, 0);
        return Answer(dialog, MAKELONG(row.top, row.bottom));
    }
    }
    return FALSE;
}

// The number after "option" in the command line, or fallback.
int NumberOption(const wchar_t* commandLine, const wchar_t* option, int fallback)
{
    const wchar_t* found = wcsstr(commandLine, option);
    return found ? _wtoi(found + wcslen(option)) : fallback;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The whole command line: the names may hold blanks.
    const wchar_t* commandLine = GetCommandLineW();
    standIn.instance = instance;
    standIn.listTop = LIST_MARGIN;
    CoInitialize(NULL);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    const wchar_t* names = wcsstr(commandLine, L"/names:");
    standIn.showPids = wcsstr(commandLine, L"/pid") && (!names || wcsstr(commandLine, L"/pid") < names);
    int count = NumberOption(commandLine, L"/count:", -1);
    if (names) {
        SetRowsFromText(names + 7);
    } else if (count >= 0) {
        for (int i = 1; i <= count; ++i) {
            wchar_t name[32];
            wsprintfW(name, L"proc%02d.exe", i);
            standIn.rows.push_back(name);
        }
    } else {
        SetRowsFromProcesses();
    }

    standIn.main = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_STANDIN_MAIN), NULL, MainProc, 0);
    if (!standIn.main)
        return 2;
    wchar_t title[MAX_PATH] = L"";
    LoadStringW(instance, IDS_STANDIN_TITLE, title, MAX_PATH);
    SetWindowTextW(standIn.main, title);
    if (!CreatePage())
        return 3;
    int perPage = NumberOption(commandLine, L"/perpage:", 0);
    if (perPage > 0)
        FitRows(perPage);
    if (!wcsstr(commandLine, L"/hidden"))
        ShowWindow(standIn.main, SW_SHOWNORMAL);

    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        if (!IsDialogMessageW(standIn.main, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    CoUninitialize();
    return 0;
}
