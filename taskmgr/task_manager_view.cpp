#include "taskmgr/task_manager_view.h"
#include <commctrl.h>
#include <strsafe.h>
#include "app/app_state.h"
#include "taskmgr/attachment.h"

static const UINT TASK_MANAGER_TITLE_ID = 10003;
static const ATOM DIALOG_CLASS_ATOM = 0x8002;
static const int CLASS_NAME_CAPACITY = 256;
static const int WINDOW_TEXT_CAPACITY = 256;

bool LoadTaskManagerTitle(wchar_t* title)
{
    title[0] = L'\0';
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path))
        return false;
    if (FAILED(StringCchCatW(path, ARRAYSIZE(path), L"\\taskmgr.exe")))
        return false;
    HMODULE module = LoadLibraryW(path);
    if (!module)
        return false;
    LoadStringW(module, TASK_MANAGER_TITLE_ID, title, MAX_PATH);
    FreeLibrary(module);
    return true;
}

bool FindTaskManager(TaskManagerView* view)
{
    wchar_t title[MAX_PATH];
    view->window = NULL;
    // Without the title there is nothing to look for: an empty title would
    // match any untitled dialog.
    if (!LoadTaskManagerTitle(title) || title[0] == L'\0')
        return false;
    view->window = FindWindowW(MAKEINTATOM(DIALOG_CLASS_ATOM), title);
    if (!view->window || !IsWindowVisible(view->window))
        return false;

    // A window-less SetTimer would start a new thread timer on every call.
    HWND spy = appState.spyWindow;
    if (spy) {
        KillTimer(spy, CLIENT_AREA_WATCH_TIMER);
        SetTimer(spy, CLIENT_AREA_WATCH_TIMER, WATCH_PERIOD_MS, ClientAreaWatchProc);
        KillTimer(spy, LIST_WATCH_TIMER);
        SetTimer(spy, LIST_WATCH_TIMER, WATCH_PERIOD_MS, ListWatchProc);
    }
    GetClientRect(view->window, &view->clientRect);
    return EnumChildWindows(view->window, MatchProcessList, (LPARAM)view) != FALSE;
}

BOOL CALLBACK MatchProcessList(HWND child, LPARAM view)
{
    wchar_t className[CLASS_NAME_CAPACITY];
    // Exact comparisons, code unit for code unit (lstrcmpW would compare linguistically).
    if (!GetClassNameW(child, className, ARRAYSIZE(className)) || wcscmp(className, L"SysListView32") != 0)
        return TRUE;
    wchar_t text[WINDOW_TEXT_CAPACITY];
    text[0] = L'\0';
    GetWindowTextW(child, text, ARRAYSIZE(text));
    if (wcscmp(text, L"Processes") != 0)
        return TRUE;
    TaskManagerView* record = (TaskManagerView*)view;
    record->geometry.listView = child;
    MeasureProcessList(&record->geometry);
    return TRUE;
}

// Converts a rectangle's two corners from screen to the window's client coordinates.
static void ScreenRectToClient(HWND window, RECT* rect)
{
    POINT topLeft = {rect->left, rect->top};
    POINT bottomRight = {rect->right, rect->bottom};
    ScreenToClient(window, &topLeft);
    ScreenToClient(window, &bottomRight);
    rect->left = topLeft.x;
    rect->top = topLeft.y;
    rect->right = bottomRight.x;
    rect->bottom = bottomRight.y;
}

void MeasureProcessList(ListGeometry* geometry)
{
    geometry->header = (HWND)SendMessageW(geometry->listView, LVM_GETHEADER, 0, 0);
    geometry->page = GetParent(geometry->listView);

    RECT headerRect = {0, 0, 0, 0};
    GetWindowRect(geometry->header, &headerRect);
    ScreenRectToClient(geometry->page, &headerRect);
    geometry->headerRect = headerRect;

    RECT listRect = {0, 0, 0, 0};
    GetWindowRect(geometry->listView, &listRect);
    ScreenRectToClient(geometry->page, &listRect);
    listRect.top += headerRect.bottom - headerRect.top;
    geometry->listRect = listRect;

    geometry->itemCount = (int)SendMessageW(geometry->listView, LVM_GETITEMCOUNT, 0, 0);
    geometry->countPerPage = (int)SendMessageW(geometry->listView, LVM_GETCOUNTPERPAGE, 0, 0);
    if (geometry->countPerPage > 0) {
        DWORD spacing = (DWORD)SendMessageW(geometry->listView, LVM_GETITEMSPACING, TRUE, 0);
        geometry->itemHeight = (int)HIWORD(spacing);
    }
}
