// The finder of the Running Processes window: a target icon dragged onto any
// window on screen to show the row of the process that owns that window; and
// the same from the keyboard for the window that was in front before ours.
#pragma once
#include <windows.h>
#include "app/window_messages.h"

// Makes the target, with its tooltip, as a child of the Running Processes window.
bool CreateWindowFinder(HWND processWindow);
// Places the target a margin from the top left corner, square, as tall as the
// filter; returns where the filter starts, a margin to its right.
int PlaceWindowFinder(HWND processWindow, int margin, int filterHeight);
// Reports the process owning the window that lies in front, below ours (the
// one that was in front before ours came), or beeps when there is none.
void FindProcessOfWindowBehind(HWND processWindow);
