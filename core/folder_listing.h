// The items of a folder one at a time, each with its full path: "." and ".."
// and any item whose path would not fit MAX_PATH are passed over. Every
// opened listing is closed, also one that failed to open.
#pragma once
#include <windows.h>

struct FolderListing {
    HANDLE search;
    WIN32_FIND_DATAW found;  // the item NextFolderItem gave last
    bool started;
    wchar_t folder[MAX_PATH];
};

bool OpenFolderListing(FolderListing* listing, const wchar_t* folder);
bool NextFolderItem(FolderListing* listing, wchar_t* path /* MAX_PATH */);
void CloseFolderListing(FolderListing* listing);
