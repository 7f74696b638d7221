// The Running Processes window: every running process with a one-click lookup.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

// Opens the window, or restores it and brings it to the front.
void ShowProcessWindow();
// Destroys the window if it is open.
void CloseProcessWindow();
HWND ProcessWindowHandle();
// Lists the running processes again now (also every 2 seconds while shown).
void RefreshProcessWindow();
// The main loop's keyboard handling for the window: true when the message
// was handled (translated and dispatched) here.
bool HandleProcessWindowMessage(MSG* message);
// On Windows 8 and later, whose Task Manager leaves no room for the strip:
// once per user, a balloon from the tray icon pointing to the window.
void ShowProcessesHintOnce();

// Where a new row's executable path comes from: the process's module list,
// else the system's image path query. The tests put their own in its place.
typedef bool (*ProcessPathSource)(const PROCESSENTRY32W* process, wchar_t* exePath /* MAX_PATH */);
extern ProcessPathSource processWindowPathSource;
