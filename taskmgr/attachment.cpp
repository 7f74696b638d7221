#include "taskmgr/attachment.h"
#include <commctrl.h>
#include "core/debug_privilege.h"
#include "core/executable_locator.h"
#include "core/ascii_folding.h"
#include "core/window_class.h"
#include "lookup/process_lookup.h"
#include "taskmgr/link_strip.h"
#include "taskmgr/strip_accessible.h"

static const wchar_t spyWindowClass[] = L"MarletSpy";

Attachment attachment;

// The executable of the process with that PID, when its file has the row's name.
static bool LocateExecutableById(DWORD processId, const wchar_t* name, wchar_t* exePath)
{
    if (!processId || !QueryProcessImagePath(processId, exePath))
        return false;
    const wchar_t* fileName = wcsrchr(exePath, L'\\');
    fileName = fileName ? fileName + 1 : exePath;
    // Another process may have taken the PID since Task Manager listed it.
    return IsSameNameFoldingAscii(fileName, name);
}

// A click beside a row: the row's name, its running executable (by the row's
// PID when Task Manager shows that column), its lookup.
static void LookUpRowAt(POINT screenPoint)
{
    wchar_t name[MAX_PATH];
    DWORD processId = 0;
    if (!RowAtPoint(screenPoint, name, &processId))
        return;
    wchar_t exePath[MAX_PATH];
    BeginDebugPrivilege();
    bool located = LocateExecutableById(processId, name, exePath) || LocateExecutable(name, exePath);
    EndDebugPrivilege();
    // The switch as it reads at the click, so a change takes effect at the next one.
    bool extended = attachment.extendedInfoSwitch && attachment.extendedInfoSwitch();
    LookUpProcess(name, located ? exePath : NULL, attachment.owner, extended);
}

static LinkStripRecord stripRecord = {NULL, &attachment.view.geometry, LookUpRowAt, ForgetIntegrationWindow,
                                      AnswerStripObjectRequest};

bool CreateLinkStripWindow(HWND parent)
{
    stripRecord.instance = attachment.instance;
    attachment.linkStrip = CreateLinkStrip(parent, &stripRecord);
    return attachment.linkStrip != NULL;
}

void PositionLinkStrip()
{
    PlaceLinkStrip(attachment.linkStrip, &attachment.view.geometry);
}

bool CreateIntegrationWindows(HINSTANCE instance, HWND owner, bool (*extendedInfoSwitch)())
{
    attachment.instance = instance;
    attachment.owner = owner;
    attachment.extendedInfoSwitch = extendedInfoSwitch;
    return CreateSpyWindow(owner) && CreateLinkStripWindow(owner);
}

void ResetAttachment()
{
    ZeroMemory(&attachment, sizeof(attachment));
}

HWND AttachedTaskManagerWindow()
{
    return attachment.view.window;
}

void RedrawLinkStrip()
{
    if (attachment.linkStrip)
        InvalidateRect(attachment.linkStrip, NULL, TRUE);
}

void StartAttachPolling()
{
    if (attachment.owner)
        SetTimer(attachment.owner, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
}

void StopAttachment()
{
    if (attachment.linkStrip)
        DestroyWindow(attachment.linkStrip);
    attachment.linkStrip = NULL;
    if (attachment.spyWindow)
        DestroyWindow(attachment.spyWindow);
    attachment.spyWindow = NULL;
    // Losing the strip and the spy re-arms the search for Task Manager; no more.
    if (attachment.owner)
        KillTimer(attachment.owner, ATTACH_TIMER);
}

bool FindAttachedTaskManager()
{
    bool found = FindTaskManager(&attachment.view);
    // Once its window is there, follow it; a window-less SetTimer would start
    // a new thread timer on every call.
    HWND spy = attachment.spyWindow;
    HWND window = attachment.view.window;
    if (spy && window && IsWindowVisible(window)) {
        KillTimer(spy, CLIENT_AREA_WATCH_TIMER);
        SetTimer(spy, CLIENT_AREA_WATCH_TIMER, WATCH_PERIOD_MS, ClientAreaWatchProc);
        KillTimer(spy, LIST_WATCH_TIMER);
        SetTimer(spy, LIST_WATCH_TIMER, WATCH_PERIOD_MS, ListWatchProc);
    }
    return found;
}

bool LookUpSelectedTaskManagerRow()
{
    const ListGeometry& geometry = attachment.view.geometry;
    HWND strip = attachment.linkStrip;
    if (!strip || !geometry.page || GetParent(strip) != geometry.page)
        return false;
    LRESULT selected = -1;
    LRESULT top = 0;
    LRESULT shown = 0;
    if (!AskTaskManager(geometry.listView, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED, &selected) ||
        (int)selected < 0 || !AskTaskManager(geometry.listView, LVM_ENSUREVISIBLE, selected, FALSE, &shown) ||
        !AskTaskManager(geometry.listView, LVM_GETTOPINDEX, 0, 0, &top))
        return false;
    // The links lie beside the rows shown now, the top row's link first.
    PositionLinkStrip();
    int link = (int)selected - (int)top;
    if (link < 0 || link >= CountStripLinks(strip))
        return false;
    ClickStripLink(strip, link);
    return true;
}

bool CreateSpyWindow(HWND parent)
{
    if (!RegisterOwnWindowClass(attachment.instance, spyWindowClass, SpyWindowProc, CS_HREDRAW | CS_VREDRAW,
                                IDC_HAND, COLOR_WINDOW, NULL, NULL))
        return false;
    // No WM_PARENTNOTIFY: destroying the spy inside a hung Task Manager's page
    // would otherwise wait for the page to answer.
    attachment.spyWindow = CreateWindowExW(WS_EX_NOPARENTNOTIFY, spyWindowClass, spyWindowClass,
                                         WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, NULL, attachment.instance, NULL);
    return attachment.spyWindow != NULL;
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
    HWND mainWindow = attachment.owner;
    if (mainWindow && IsWindow(mainWindow)) {
        if (SetParent(attachment.spyWindow, mainWindow) && SetParent(attachment.linkStrip, mainWindow))
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
    if (window == attachment.spyWindow) {
        attachment.spyWindow = NULL;
        known = true;
    }
    if (window == attachment.linkStrip) {
        attachment.linkStrip = NULL;
        known = true;
    }
    if (known && attachment.owner && IsWindow(attachment.owner))
        SetTimer(attachment.owner, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
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
    if (!IsOwnWindow(attachment.spyWindow)) {
        attachment.spyWindow = NULL;
        CreateSpyWindow(mainWindow);
    }
    if (!IsOwnWindow(attachment.linkStrip)) {
        attachment.linkStrip = NULL;
        CreateLinkStripWindow(mainWindow);
    }
}

void CALLBACK AttachTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    KillTimer(window, ATTACH_TIMER);
    RestoreIntegrationWindows(window);
    if (!FindAttachedTaskManager()) {
        SetTimer(window, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
        return;
    }
    HWND page = attachment.view.geometry.page;
    if (page && SetParent(attachment.spyWindow, page) && SetParent(attachment.linkStrip, page)) {
        PositionLinkStrip();
        return;
    }
    SetTimer(window, ATTACH_TIMER, WATCH_PERIOD_MS, AttachTimerProc);
    ZeroMemory(&attachment.view, sizeof(attachment.view));
}

void CALLBACK ClientAreaWatchProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    RECT client;
    // A rectangle that cannot be had counts as a change, so discovery runs again.
    bool changed = true;
    if (GetClientRect(attachment.view.window, &client)) {
        const RECT& known = attachment.view.clientRect;
        changed = client.left != known.left || client.right != known.right || client.top != known.top ||
                  client.bottom != known.bottom;
    }
    if (!changed)
        return;
    FindAttachedTaskManager();
    if (attachment.view.window)
        PositionLinkStrip();
}

void CALLBACK ListWatchProc(HWND window, UINT message, UINT_PTR id, DWORD time)
{
    const ListGeometry& geometry = attachment.view.geometry;
    // A list that does not answer shows no change.
    LRESULT countPerPage = 0;
    LRESULT itemCount = 0;
    if (!AskTaskManager(geometry.listView, LVM_GETCOUNTPERPAGE, 0, 0, &countPerPage) ||
        !AskTaskManager(geometry.listView, LVM_GETITEMCOUNT, 0, 0, &itemCount))
        return;
    if ((int)countPerPage == geometry.countPerPage && (int)itemCount == geometry.itemCount)
        return;
    if (FindAttachedTaskManager())
        PositionLinkStrip();
}
