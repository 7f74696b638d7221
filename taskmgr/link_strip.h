// The strip of link icons beside Task Manager's process list.
#pragma once
#include <windows.h>

// At 96 DPI; the strip is as wide as its icon.
const int LINK_STRIP_WIDTH = 12;
const int LINK_ICON_SIZE = 12;

// Makes the strip window, at start-up and anew after Task Manager took the
// old one down with it.
bool CreateLinkStripWindow(HWND parent);
LRESULT CALLBACK LinkStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintLinkStrip(HWND strip);
// The link icon's size, and the strip's width, beside rows `itemHeight`
// pixels tall in a list shown at `dpi`.
int LinkIconSize(int itemHeight, UINT dpi);
// The program's icon as drawn at that size; the caller destroys it.
HICON LoadLinkIcon(HINSTANCE instance, int size);
// Draws one icon per whole row into any device context, as wide as the
// client area and centred in its row; returns the number drawn.
int DrawLinkIcons(HDC dc, const RECT* client, int itemHeight, HICON icon);
void OnLinkStripClick(HWND strip, LPARAM lParam);
bool NameAtPoint(POINT screenPoint, wchar_t* name /* MAX_PATH */);
void CutAtAsterisk(wchar_t* name);
void PositionLinkStrip();
