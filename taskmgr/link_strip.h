// The strip of link icons beside Task Manager's process list.
#pragma once
#include <windows.h>

const int LINK_STRIP_WIDTH = 12;
const int LINK_ICON_SIZE = 12;

// Makes the strip window, at start-up and anew after Task Manager took the
// old one down with it.
bool CreateLinkStripWindow(HWND parent);
LRESULT CALLBACK LinkStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintLinkStrip(HWND strip);
// Draws one icon per whole row into any device context; returns the number drawn.
int DrawLinkIcons(HDC dc, const RECT* client, int itemHeight, HICON icon);
void OnLinkStripClick(HWND strip, LPARAM lParam);
bool NameAtPoint(POINT screenPoint, wchar_t* name /* MAX_PATH */);
void CutAtAsterisk(wchar_t* name);
void PositionLinkStrip();
