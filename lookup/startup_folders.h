// The user's and the common Startup folders: each file, a shortcut by its
// target (core/shell_link's bounded reader). Any thread.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"


// SWITCH_USER_FOLDER or SWITCH_COMMON_FOLDER's path; false when the system has none.
bool FindStartupFolder(StartupSwitchPlace place, wchar_t* folder /* MAX_PATH */);
// The folder's name as a Location: "Startup folder", "Startup folder (all users)".
void LoadStartupFolderLocation(StartupSwitchPlace place, wchar_t* location /* STARTUP_LOCATION_CAPACITY */);
// Each file in `folder` as an entry of `place`'s folder (a shortcut by its
// target); `kept`: a folder of our keeping, whose entries are turned off.
void ReadFolderItems(const wchar_t* folder, StartupSwitchPlace place, bool kept, StartupList* list);

void ReadStartupFolderEntries(StartupList* list);
