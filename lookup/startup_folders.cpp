// The user's and the common Startup folders: each file, a shortcut by its target.
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>
#include <strsafe.h>
#include "core/folder_listing.h"
#include "core/handed_path.h"
#include "core/program_text.h"
#include "core/shell_link.h"
#include "lookup/startup_folders.h"
#include "resource.h"

// The folder is the user's to point anywhere: a share or a pipe is not
// listed, and shortcuts are read by our own bounded reader, never by the
// shell's, which would bind the user's shell folders in our process.
void ReadFolderItems(const wchar_t* folder, StartupSwitchPlace place, bool kept, StartupList* list)
{
    wchar_t location[STARTUP_LOCATION_CAPACITY];
    LoadStartupFolderLocation(place, location);
    if (!IsProbeableName(folder))
        return;
    FolderListing listing;
    OpenFolderListing(&listing, folder);  // one that cannot be opened lists nothing
    wchar_t item[MAX_PATH], target[MAX_PATH];
    while (NextFolderItem(&listing, item)) {
        const WIN32_FIND_DATAW* found = &listing.found;
        // desktop.ini names the folder's look, not a program.
        if ((found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || lstrcmpiW(found->cFileName, L"desktop.ini") == 0)
            continue;
        StartupEntry* entry = AddStartupEntry(list, STARTUP_FOLDER_ITEM, location, found->cFileName);
        if (!entry)
            continue;
        entry->place = place;
        if (kept) {
            entry->inOurKeeping = true;
            entry->enabled = false;
        }
        if (lstrcmpiW(PathFindExtensionW(found->cFileName), L".lnk") != 0)
            SetStartupProgram(entry, item);
        else if (ReadShellLinkTarget(item, target))
            SetStartupProgram(entry, target);
        StringCchCopyW(entry->command, ARRAYSIZE(entry->command), entry->program);
    }
    CloseFolderListing(&listing);
}

static void ReadStartupFolder(StartupSwitchPlace place, StartupList* list)
{
    wchar_t folder[MAX_PATH];
    if (FindStartupFolder(place, folder))
        ReadFolderItems(folder, place, false, list);
}

bool FindStartupFolder(StartupSwitchPlace place, wchar_t* folder /* MAX_PATH */)
{
    int csidl = place == SWITCH_COMMON_FOLDER ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP;
    folder[0] = L'\0';
    return SUCCEEDED(SHGetFolderPathW(NULL, csidl, NULL, 0, folder)) && folder[0];
}

void ReadStartupFolderEntries(StartupList* list)
{
    ReadStartupFolder(SWITCH_USER_FOLDER, list);
    ReadStartupFolder(SWITCH_COMMON_FOLDER, list);
}

void LoadStartupFolderLocation(StartupSwitchPlace place, wchar_t* location)
{
    bool common = place == SWITCH_COMMON_FOLDER;
    LoadProgramText(common ? IDS_STARTUP_COMMON_FOLDER : IDS_STARTUP_USER_FOLDER, location, STARTUP_LOCATION_CAPACITY);
}
