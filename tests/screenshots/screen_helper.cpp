// What take_screenshots.sh asks of the Windows side, run under Wine:
//   screen_helper post CLASS TITLE MESSAGE WPARAM LPARAM
//       posts a message to the top-level window of that class and title
//   screen_helper window CLASS TITLE PROGRAM SECONDS
//       waits until a visible top-level window of that class and title, made
//       by a process running PROGRAM, is on screen; prints its rectangle as
//       WIDTHxHEIGHT+X+Y (the form ImageMagick's -crop takes)
// "-" stands for any class, title or program; numbers may be written 0x...
// Exit code 0 when it was done, 1 when not (and a message on stderr).
#include <windows.h>
#include <tlhelp32.h>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

struct WindowQuery {
    const wchar_t* className;
    const wchar_t* title;
    const wchar_t* program;
    HWND found;
};

bool IsAny(const wchar_t* text)
{
    return wcscmp(text, L"-") == 0;
}

bool ProcessRuns(DWORD processId, const wchar_t* program)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool match = false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) {
            match = _wcsicmp(entry.szExeFile, program) == 0;
            break;
        }
    }
    CloseHandle(snapshot);
    return match;
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowQuery* query = (WindowQuery*)parameter;
    wchar_t className[256] = L"";
    wchar_t title[256] = L"";
    GetClassNameW(window, className, ARRAYSIZE(className));
    GetWindowTextW(window, title, ARRAYSIZE(title));
    if (!IsAny(query->className) && wcscmp(className, query->className) != 0)
        return TRUE;
    if (!IsAny(query->title) && wcscmp(title, query->title) != 0)
        return TRUE;
    if (!IsWindowVisible(window))
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!IsAny(query->program) && !ProcessRuns(processId, query->program))
        return TRUE;
    query->found = window;
    return FALSE;
}

HWND FindShownWindow(const wchar_t* className, const wchar_t* title, const wchar_t* program)
{
    WindowQuery query = {className, title, program, NULL};
    EnumWindows(MatchWindow, (LPARAM)&query);
    return query.found;
}

// The window's rectangle cut to the screen; false when nothing of it is on screen.
bool RectOnScreen(HWND window, RECT* rect)
{
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT windowRect;
    return GetWindowRect(window, &windowRect) && IntersectRect(rect, &windowRect, &screen) &&
           rect->right - rect->left > 1 && rect->bottom - rect->top > 1;
}

int Post(wchar_t** arguments)
{
    const wchar_t* className = arguments[0];
    const wchar_t* title = arguments[1];
    HWND window = FindWindowW(IsAny(className) ? NULL : className, IsAny(title) ? NULL : title);
    if (!window) {
        fwprintf(stderr, L"screen_helper: no window of class %ls titled %ls\n", className, title);
        return 1;
    }
    UINT message = (UINT)wcstoul(arguments[2], NULL, 0);
    WPARAM wParam = (WPARAM)wcstoul(arguments[3], NULL, 0);
    LPARAM lParam = (LPARAM)wcstol(arguments[4], NULL, 0);
    if (!PostMessageW(window, message, wParam, lParam)) {
        fwprintf(stderr, L"screen_helper: posting to the window failed (%lu)\n", GetLastError());
        return 1;
    }
    return 0;
}

int ShowWindowRect(wchar_t** arguments)
{
    DWORD waitMs = (DWORD)wcstoul(arguments[3], NULL, 0) * 1000;
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindShownWindow(arguments[0], arguments[1], arguments[2]);
        RECT rect;
        if (window && RectOnScreen(window, &rect)) {
            wprintf(L"%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
            return 0;
        }
        if (GetTickCount() - start >= waitMs)
            break;
        Sleep(100);
    }
    fwprintf(stderr, L"screen_helper: no window of class %ls titled %ls of %ls on screen\n", arguments[0],
             arguments[1], arguments[2]);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 7 && wcscmp(argv[1], L"post") == 0)
        return Post(argv + 2);
    if (argc == 6 && wcscmp(argv[1], L"window") == 0)
        return ShowWindowRect(argv + 2);
    fwprintf(stderr, L"usage: screen_helper post CLASS TITLE MESSAGE WPARAM LPARAM\n"
                     L"       screen_helper window CLASS TITLE PROGRAM SECONDS\n");
    return 1;
}
