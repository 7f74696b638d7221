#include "taskmgr/attachment.h"
#include <commctrl.h>
#include "app/app_state.h"
#include "app/tray_menu.h"
#include "taskmgr/link_strip.h"
#include "taskmgr/task_manager_view.h"

static const wchar_t spyWindowClass[] = L"MarletSpy";

bool StartIntegration(HWND mainWindow)
{
    if (!CreateSpyWindow(mainWindow))
        return false;
    if (!CreateLinkStrip(mainWindow))
        return false;
    // A shutdown asked for under the splash screen: no Task Manager, no timer.
    if (StartUpInterrupted())
        return true;
    if (!appState.autostartMode)
        ShowOrStartTaskManager();
    SetTimer(mainWindow, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
    return true;
}

bool CreateSpyWindow(HWND parent)
{
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = SpyWindowProc;
    windowClass.hInstance = appState.instance;
    windowClass.hCursor = LoadCursorW(NULL, IDC_HAND);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = spyWindowClass;
    // A spy made anew after Task Manager took the first one down reuses the class.
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // No WM_PARENTNOTIFY: destroying the spy inside a hung Task Manager's page
    // would otherwise wait for the page to answer.
    appState.spyWindow = CreateWindowExW(WS_EX_NOPARENTNOTIFY, spyWindowClass, spyWindowClass,
                                         WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, NULL, appState.instance, NULL);
    return appState.spyWindow != NULL;
}

LRESULT CALLBACK SpyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
    case WM_CLOSE:
        // Not passed on: WM_CLOSE must not destroy the spy.
        DetachFromTaskManager(window);
        return 0;
    case WM_NCDESTROY:
        ForgetIntegrationWindow(window);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void DetachFromTaskManager(HWND spy)
{
    HWND mainWindow = appState.mainWindow;
    if (mainWindow && IsWindow(mainWindow)) {
        if (SetParent(appState.spyWindow, mainWindow) && SetParent(appState.linkStrip, mainWindow))
            PositionLinkStrip();
    }
    // Polling resumes even when a re-parenting failed.
    if (mainWindow)
        SetTimer(mainWindow, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
    KillTimer(spy, CLIENT_AREA_WATCH_TIMER);
    KillTimer(spy, LIST_WATCH_TIMER);
}

void ForgetIntegrationWindow(HWND window)
{
    bool known = false;
    if (window == appState.spyWindow) {
        appState.spyWindow = NULL;
        known = true;
    }
    if (window == appState.linkStrip) {
        appState.linkStrip = NULL;
        known = true;
    }
    if (known && appState.mainWindow && IsWindow(appState.mainWindow))
        SetTimer(appState.mainWindow, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
}

// True for a window that still exists and belongs to this thread: a handle
// freed with Task Manager's windows is neither.
static bool IsOwnWindow(HWND window)
{
    return window && IsWindow(window) && GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId();
}

// Makes a new spy or strip for one that Task Manager's end destroyed.
static void RestoreIntegrationWindows(HWND mainWindow)
{
    if (!IsOwnWindow(appState.spyWindow)) {
        appState.spyWindow = NULL;
        CreateSpyWindow(mainWindow);
    }
    if (!IsOwnWindow(appState.linkStrip)) {
        appState.linkStrip = NULL;
        CreateLinkStripWindow(mainWindow);
    }
}

void CALLBACK AttachTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    KillTimer(window, ATTACH_TIMER);
    RestoreIntegrationWindows(window);
    if (!FindTaskManager(&appState.view)) {
        SetTimer(window, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
        return;
    }
    HWND page = appState.view.geometry.page;
    if (page && SetParent(appState.spyWindow, page) && SetParent(appState.linkStrip, page)) {
        PositionLinkStrip();
        return;
    }
    SetTimer(window, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
    ZeroMemory(&appState.view, sizeof(appState.view));
}

void CALLBACK ClientAreaWatchProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    RECT client;
    // A rectangle that cannot be had counts as a change, so discovery runs again.
    bool changed = true;
    if (GetClientRect(appState.view.window, &client)) {
        const RECT& known = appState.view.clientRect;
        changed = client.left != known.left || client.right != known.right || client.top != known.top ||
                  client.bottom != known.bottom;
    }
    if (!changed)
        return;
    FindTaskManager(&appState.view);
    if (appState.view.window)
        PositionLinkStrip();
}

void CALLBACK ListWatchProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    const ListGeometry& geometry = appState.view.geometry;
    // A list that does not answer shows no change.
    LRESULT countPerPage = 0;
    LRESULT itemCount = 0;
    if (!AskTaskManager(geometry.listView, LVM_GETCOUNTPERPAGE, 0, 0, &countPerPage) ||
        !AskTaskManager(geometry.listView, LVM_GETITEMCOUNT, 0, 0, &itemCount))
        return;
    if ((int)countPerPage == geometry.countPerPage && (int)itemCount == geometry.itemCount)
        return;
    if (FindTaskManager(&appState.view))
        PositionLinkStrip();
}
