// What every list window does alike (the Running Processes window, the
// Startup Entries window): one at a time, made at its monitor's DPI and
// shown where it was, the focus given back where it was, and its layout and
// placement kept when it closes. Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"

// Brings an open window forward (restored from the taskbar); false for none.
bool BringListWindowForward(HWND window);

// Registers the class, and makes an overlapped window titled from the string
// table at the default size (at 96 DPI) scaled to the DPI it will open at.
HWND CreateListWindow(const wchar_t* windowClass, WNDPROC procedure, UINT titleId, int width, int height);

// Shows a new window where its placement was saved, in front. `restoring`
// is set meanwhile: a DPI change then keeps the stored rectangle.
void ShowAtSavedPlacement(HWND window, const wchar_t* placementSetting, bool* restoring);

// WM_ACTIVATE: remembers the focus on leaving, gives it back (or to
// `fallback`) on coming back, as a dialog does.
void RestoreListWindowFocus(HWND window, HWND* remembered, HWND fallback, WPARAM activation);

// WM_DESTROY: the window's jobs cancelled, its list's layout and its placement saved.
void EndListWindow(HWND window, const ListView* view, UINT dpi, const wchar_t* placementSetting);
