// The user's and the common Startup folders: each file, a shortcut by its target.
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>
#include <strsafe.h>
#include "core/handed_path.h"
#include "core/program_text.h"
#include "core/shell_link.h"
#include "lookup/startup_folders.h"
#include "resource.h"

// The folder is the user's to point anywhere: a share or a pipe is not
// listed, and shortcuts are read by our own bounded reader, never by the
// shell's, which would bind the user's shell folders in our process.
static void ReadFolderItems(StartupSwitchPlace place, StartupList* list)
{
    wchar_t location[STARTUP_LOCATION_CAPACITY];
    LoadStartupFolderLocation(place, location);
    wchar_t folder[MAX_PATH], pattern[MAX_PATH];
    if (!FindStartupFolder(place, folder) || !IsProbeableName(folder) ||
        FAILED(StringCchPrintfW(pattern, ARRAYSIZE(pattern), L"%s\\*", folder)))
        return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        wchar_t item[MAX_PATH], target[MAX_PATH];
        // desktop.ini names the folder's look, not a program.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || lstrcmpiW(found.cFileName, L"desktop.ini") == 0 ||
            FAILED(StringCchPrintfW(item, ARRAYSIZE(item), L"%s\\%s", folder, found.cFileName)))
            continue;
        StartupEntry* entry = AddStartupEntry(list, STARTUP_FOLDER_ITEM, location, found.cFileName);
        if (!entry)
            continue;
        entry->place = place;
        bool shortcut = lstrcmpiW(PathFindExtensionW(found.cFileName), L".lnk") == 0;
        if (!shortcut)
            SetStartupProgram(entry, item);
        else if (ReadShellLinkTarget(item, target))
            SetStartupProgram(entry, target);
        StringCchCopyW(entry->command, ARRAYSIZE(entry->command), entry->program);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool FindStartupFolder(StartupSwitchPlace place, wchar_t* folder /* MAX_PATH */)
{
    int csidl = place == SWITCH_COMMON_FOLDER ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP;
    folder[0] = L'\0';
    return SUCCEEDED(SHGetFolderPathW(NULL, csidl, NULL, 0, folder)) && folder[0];
}

void ReadStartupFolderEntries(StartupList* list)
{
    ReadFolderItems(SWITCH_USER_FOLDER, list);
    ReadFolderItems(SWITCH_COMMON_FOLDER, list);
}

void LoadStartupFolderLocation(StartupSwitchPlace place, wchar_t* location)
{
    bool common = place == SWITCH_COMMON_FOLDER;
    if (!LoadProgramText(common ? IDS_STARTUP_COMMON_FOLDER : IDS_STARTUP_USER_FOLDER, location,
                     STARTUP_LOCATION_CAPACITY))
        StringCchCopyW(location, STARTUP_LOCATION_CAPACITY, common ? L"Startup folder (all users)" : L"Startup folder");
}
