#include "app/window_placement.h"
#include "app/dialogs.h"
#include "core/settings.h"

void SaveWindowPlacement(HWND window, const wchar_t* setting)
{
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof(placement));
    placement.length = sizeof(placement);
    if (GetWindowPlacement(window, &placement))
        WriteBinarySetting(setting, &placement, sizeof(placement));
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

int RestoreWindowPlacement(HWND window, const wchar_t* setting)
{
    WINDOWPLACEMENT placement;
    DWORD bytes = 0;
    bool stored = ReadBinarySetting(setting, &placement, sizeof(placement), &bytes) &&
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
