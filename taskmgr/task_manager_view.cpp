#include "taskmgr/task_manager_view.h"
#include <commctrl.h>
#include <oleacc.h>
#include <strsafe.h>
#include "core/oleacc_functions.h"
#include "core/window_dpi.h"

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
    // As data only: a module loaded as a program image would bring its
    // imported DLLs into our process and run their start-up code, every
    // 150 ms while the strip is detached, for one string.
    HMODULE module = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
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
    GetClientRect(view->window, &view->clientRect);
    return EnumChildWindows(view->window, MatchProcessList, (LPARAM)view) != FALSE;
}

bool AskTaskManager(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer)
{
    DWORD_PTR result = 0;
    bool answered = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, TASK_MANAGER_ANSWER_MS,
                                        &result) != 0;
    *answer = answered ? (LRESULT)result : 0;
    return answered;
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
    ListGeometry measured = record->geometry;
    measured.listView = child;
    // A list that does not answer ends the enumeration, so that discovery
    // reports false instead of waiting on a hung Task Manager once more.
    if (!MeasureProcessList(&measured))
        return FALSE;
    record->geometry = measured;
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

bool MeasureProcessList(ListGeometry* geometry)
{
    ListGeometry measured = *geometry;
    LRESULT header = 0;
    if (!AskTaskManager(measured.listView, LVM_GETHEADER, 0, 0, &header))
        return false;
    measured.header = (HWND)header;
    measured.page = GetParent(measured.listView);
    measured.dpi = ReadWindowDpi(measured.listView);

    RECT headerRect = {0, 0, 0, 0};
    GetWindowRect(measured.header, &headerRect);
    ScreenRectToClient(measured.page, &headerRect);
    measured.headerRect = headerRect;

    RECT listRect = {0, 0, 0, 0};
    GetWindowRect(measured.listView, &listRect);
    ScreenRectToClient(measured.page, &listRect);
    listRect.top += headerRect.bottom - headerRect.top;
    measured.listRect = listRect;

    LRESULT itemCount = 0;
    LRESULT countPerPage = 0;
    if (!AskTaskManager(measured.listView, LVM_GETITEMCOUNT, 0, 0, &itemCount) ||
        !AskTaskManager(measured.listView, LVM_GETCOUNTPERPAGE, 0, 0, &countPerPage))
        return false;
    measured.itemCount = (int)itemCount;
    measured.countPerPage = (int)countPerPage;
    if (measured.countPerPage > 0) {
        LRESULT spacing = 0;
        if (!AskTaskManager(measured.listView, LVM_GETITEMSPACING, TRUE, 0, &spacing))
            return false;
        measured.itemHeight = (int)HIWORD((DWORD)spacing);
    }
    *geometry = measured;
    return true;
}

typedef HRESULT (WINAPI* AccessibleObjectFromPointProc)(POINT, IAccessible**, VARIANT*);

// Loaded at the first click.
static AccessibleObjectFromPointProc FindAccessibleObjectFromPoint()
{
    return (AccessibleObjectFromPointProc)(void*)FindOleaccFunction("AccessibleObjectFromPoint");
}

bool NameAtPoint(POINT screenPoint, wchar_t* name)
{
    return RowAtPoint(screenPoint, name, NULL);
}

DWORD FindProcessIdInDescription(const wchar_t* description)
{
    static const wchar_t title[] = L"PID: ";
    const size_t titleLength = ARRAYSIZE(title) - 1;
    for (const wchar_t* at = description; at && *at; ++at) {
        // A column's title starts the text or follows ", ".
        bool starts = at == description || (at - description >= 2 && at[-2] == L',' && at[-1] == L' ');
        if (!starts || wcsncmp(at, title, titleLength) != 0)
            continue;
        ULONGLONG number = 0;
        const wchar_t* digit = at + titleLength;
        for (; *digit >= L'0' && *digit <= L'9' && number <= 0xFFFFFFFFull; ++digit)
            number = number * 10 + (ULONGLONG)(*digit - L'0');
        bool ends = *digit == L'\0' || *digit == L',';
        return digit > at + titleLength && ends && number <= 0xFFFFFFFFull ? (DWORD)number : 0;
    }
    return 0;
}

bool RowAtPoint(POINT screenPoint, wchar_t* name, DWORD* processId)
{
    if (processId)
        *processId = 0;
    AccessibleObjectFromPointProc accessibleObjectFromPoint = FindAccessibleObjectFromPoint();
    if (!accessibleObjectFromPoint)
        return false;
    // Active Accessibility hands out objects through COM.
    HRESULT comStarted = CoInitialize(NULL);
    bool found = false;
    VARIANT child;
    VariantInit(&child);
    IAccessible* accessible = NULL;
    if (accessibleObjectFromPoint(screenPoint, &accessible, &child) == S_OK && accessible) {
        BSTR text = NULL;
        HRESULT named = accessible->get_accName(child, &text);
        if (named == S_OK && text) {
            // A name cut short would look up another process; it is taken only
            // when its cut at the asterisk lies inside the buffer.
            HRESULT copied = StringCchCopyW(name, MAX_PATH, text);
            found = SUCCEEDED(copied) || wcschr(name, L'*') != NULL;
            CutAtAsterisk(name);
        }
        if (text)
            SysFreeString(text);
        BSTR description = NULL;
        if (found && processId && accessible->get_accDescription(child, &description) == S_OK && description)
            *processId = FindProcessIdInDescription(description);
        if (description)
            SysFreeString(description);
        accessible->Release();
    }
    VariantClear(&child);
    if (SUCCEEDED(comStarted))
        CoUninitialize();
    return found;
}

void CutAtAsterisk(wchar_t* name)
{
    wchar_t* asterisk = wcschr(name, L'*');
    if (!asterisk)
        return;
    *asterisk = L'\0';
    while (asterisk > name && iswspace(asterisk[-1])) {
        --asterisk;
        *asterisk = L'\0';
    }
}
