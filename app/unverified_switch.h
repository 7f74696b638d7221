// "Show Unverified Only": the check box right of the Running Processes
// window's filter, which keeps the rows whose signer is not a verified name,
// and its setting.
#pragma once
#include <windows.h>

// Makes the box, checked as the setting says.
bool CreateUnverifiedSwitch(HWND processWindow, HFONT font);
// Puts the box at the right edge, `right` its right end; returns its left end.
int PlaceUnverifiedSwitch(HWND processWindow, int right, int top, int height);
// The same for any check box right of a window's filter.
int PlaceSwitchBox(HWND box, int right, int top, int height);
bool IsUnverifiedOnly(HWND processWindow);
// Ctrl+U and the menu: flips the box. Either way the setting follows the box.
void ToggleUnverifiedOnly(HWND processWindow);
void SaveUnverifiedOnly(HWND processWindow);
