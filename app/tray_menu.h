// The tray icon's callback, its menu and the commands.
#pragma once
#include <windows.h>

void TrayCallback(LPARAM mouseMessage);
void ShowTrayMenu();
bool DispatchCommand(WPARAM wParam);
void ShowOrStartTaskManager();
void StartTaskManager();
