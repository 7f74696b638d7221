// The program's icon in the notification area, and the balloons it shows.
#pragma once
#include <windows.h>
#include "core/lookup_url.h"

// Adds the icon for appState.mainWindow; false when the shell would not take it.
bool AddTrayIcon();
// A restarted Explorer starts with an empty tray: puts our icon back, unless
// it was never added yet or has been taken away for good.
void RestoreTrayIcon();
void RemoveTrayIcon();
// On Windows 8 and later, whose Task Manager leaves no room for the strip:
// once per user, a balloon from the tray icon pointing to the Running
// Processes window.
void ShowProcessesHintOnce();
// An address the elevated program would not open itself waits on the
// clipboard: a tray balloon says so.
void TellIfAddressOnClipboard(AddressOpening opening);
// Reaching Task Manager needs the elevated companion, which a copy that the
// user's own programs can change does not start: a balloon says that this
// needs the all-users install, once a run (at start-up, once the icon is there).
void TellAttachNeedsAllUsersInstall();
