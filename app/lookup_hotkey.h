// Ctrl+Alt+K, anywhere: looks up the row selected in the classic Task Manager
// as a click on its link would, or opens the Running Processes window when
// there is no Task Manager or no selected row. On the main window's thread.
#pragma once
#include <windows.h>

const int LOOK_UP_HOTKEY_ID = 1;

// RegisterHotKey on the main window; when another program holds the keys
// none is registered, and the tray menu shows no shortcut.
void RegisterLookUpHotkey(HWND mainWindow);
void UnregisterLookUpHotkey(HWND mainWindow);
// Whether the keys are ours while the program runs.
bool IsLookUpHotkeyRegistered();
// WM_HOTKEY, and the tray menu's "Look Up Selected Process".
void LookUpSelectedProcess();
// Cuts the shortcut ("\tCtrl+Alt+K") from the menu item when the keys are not ours.
void ShowLookUpHotkeyInMenu(HMENU menu, UINT command);
