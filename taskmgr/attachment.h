// Keeps the link strip attached to Task Manager's Processes page.
#pragma once
#include <windows.h>

const UINT_PTR ATTACH_TIMER = 1;
const UINT_PTR CLIENT_AREA_WATCH_TIMER = 2;
const UINT_PTR LIST_WATCH_TIMER = 3;
const UINT WATCH_PERIOD_MS = 150;

bool StartIntegration(HWND mainWindow);
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
