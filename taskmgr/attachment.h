// Keeps the link strip attached to Task Manager's Processes page: owns the
// spy and the strip, the measured view of Task Manager, and the timers that
// look for it and follow it.
#pragma once
#include <windows.h>
#include "taskmgr/task_manager_view.h"

const UINT_PTR ATTACH_TIMER = 1;
const UINT_PTR CLIENT_AREA_WATCH_TIMER = 2;
const UINT_PTR LIST_WATCH_TIMER = 3;
const UINT WATCH_PERIOD_MS = 150;

struct Attachment {
    HINSTANCE instance;
    // The program's hidden window: home of the spy and the strip while no
    // Task Manager holds them, owner of the attach timer, and the window the
    // strip's lookups answer to.
    HWND owner;
    HWND linkStrip;
    HWND spyWindow;
    TaskManagerView view;
    // The extended-details switch as it reads at a click.
    bool (*extendedInfoSwitch)();
};

extern Attachment attachment;

// Makes the spy and the strip under owner; false when either cannot be made.
// A click's lookup sends the extended details when `extendedInfoSwitch`
// (NULL: never) says so at that click.
bool CreateIntegrationWindows(HINSTANCE instance, HWND owner, bool (*extendedInfoSwitch)());
// Forgets every window and switch of an earlier run, at the start of a run.
void ResetAttachment();
// The Task Manager window found last, or NULL.
HWND AttachedTaskManagerWindow();
// The strip draws again (a colour or theme change reaches Task Manager, not it).
void RedrawLinkStrip();
// Makes the strip, at start-up and anew after Task Manager took the old one
// down with it; its clicks are looked up with their answers going to `owner`.
bool CreateLinkStripWindow(HWND parent);
// Puts the strip beside the rows Task Manager's list shows now.
void PositionLinkStrip();
// Looks for Task Manager every WATCH_PERIOD_MS until the strip is in it.
void StartAttachPolling();
// Takes the strip and the spy down and stops looking for Task Manager.
void StopAttachment();
// Finds Task Manager and measures its list into attachment.view; once its
// window is found, the spy's watch timers follow it.
bool FindAttachedTaskManager();
// Looks up the row selected in Task Manager's list as a click on its link
// would, scrolling it into view first; false when no Task Manager holds the
// strip, no row is selected or the list does not answer.
bool LookUpSelectedTaskManagerRow();

bool CreateSpyWindow(HWND parent);
LRESULT CALLBACK SpyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void DetachFromTaskManager(HWND spy);
void CALLBACK AttachTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
void CALLBACK ClientAreaWatchProc(HWND window, UINT message, UINT_PTR id, DWORD time);
void CALLBACK ListWatchProc(HWND window, UINT message, UINT_PTR id, DWORD time);
// Called from the spy's and the strip's WM_NCDESTROY: a window that goes
// without being detached first (Task Manager killed) is forgotten, and
// polling starts again so that a new one is made and attached.
void ForgetIntegrationWindow(HWND window);
