// The strip of link icons beside Task Manager's process list. It knows no
// attachment: it is handed a record when it is made, reads Task Manager's
// list from it and tells of clicks through it.
#pragma once
#include <windows.h>
#include "taskmgr/task_manager_view.h"

// At 96 DPI; the strip is as wide as its icon.
const int LINK_STRIP_WIDTH = 12;
const int LINK_ICON_SIZE = 12;

// Outlives every strip made with it.
struct LinkStripRecord {
    HINSTANCE instance;
    const ListGeometry* geometry;  // Task Manager's list as last measured
    // A click beside a row: the screen point at which that row's name is read.
    void (*rowClicked)(POINT screenPoint);
    // WM_NCDESTROY, also when Task Manager's end takes the strip with it.
    void (*stripGone)(HWND strip);
    // WM_GETOBJECT for the strip's client: what screen readers see of it.
    LRESULT (*objectAsked)(HWND strip, WPARAM wParam, LPARAM lParam);
};

HWND CreateLinkStrip(HWND parent, LinkStripRecord* record);
LRESULT CALLBACK LinkStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintLinkStrip(HWND strip);
// What WM_PAINT and WM_PRINTCLIENT draw: the links as the system's colours allow.
void DrawLinkStrip(HWND strip, HDC dc);
// The link icon's size, and the strip's width, beside rows `itemHeight`
// pixels tall in a list shown at `dpi`.
int LinkIconSize(int itemHeight, UINT dpi);
// The program's icon as drawn at that size; the caller destroys it.
HICON LoadLinkIcon(HINSTANCE instance, int size);
// Draws one icon per whole row into any device context, as wide as the
// client area and centred in its row; returns the number drawn.
int DrawLinkIcons(HDC dc, const RECT* client, int itemHeight, HICON icon);
void OnLinkStripClick(HWND strip, LPARAM lParam);
// The strip's links, one per whole row it lies beside, 0 for the top one.
int CountStripLinks(HWND strip);
bool LinkScreenRect(HWND strip, int link, RECT* rect);
// Whether the link lies over Task Manager's list as it shows now.
bool IsLinkShown(HWND strip, int link);
// The name of the link's row, read as a click on the link reads it.
bool ReadLinkRowName(HWND strip, int link, wchar_t* name /* MAX_PATH */);
// Does what a click on the link does.
void ClickStripLink(HWND strip, int link);
// High contrast: each whole row's link as a COLOR_HOTLIGHT outline on
// COLOR_WINDOW, no bitmap; returns the number drawn.
int DrawLinkOutlines(HDC dc, const RECT* client, int itemHeight);
// Beside the rows the list shows now, at the width of its rows' DPI.
void PlaceLinkStrip(HWND strip, const ListGeometry* geometry);

// Called at every strip's WM_NCDESTROY, on its thread: what holds its handle
// forgets it there (the screen readers' objects).
typedef void (*StripEndListener)(HWND strip);
void ListenForStripEnd(StripEndListener listener);
