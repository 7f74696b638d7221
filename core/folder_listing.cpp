#include "core/folder_listing.h"
#include <strsafe.h>
#include <wchar.h>

bool OpenFolderListing(FolderListing* listing, const wchar_t* folder)
{
    listing->search = INVALID_HANDLE_VALUE;
    listing->started = false;
    wchar_t pattern[MAX_PATH];
    if (FAILED(StringCchCopyW(listing->folder, ARRAYSIZE(listing->folder), folder)) ||
        FAILED(StringCchPrintfW(pattern, ARRAYSIZE(pattern), L"%s\\*", folder)))
        return false;
    listing->search = FindFirstFileW(pattern, &listing->found);
    return listing->search != INVALID_HANDLE_VALUE;
}

bool NextFolderItem(FolderListing* listing, wchar_t* path)
{
    if (listing->search == INVALID_HANDLE_VALUE)
        return false;
    for (;;) {
        if (listing->started && !FindNextFileW(listing->search, &listing->found))
            return false;
        listing->started = true;
        const wchar_t* name = listing->found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
            continue;
        if (SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", listing->folder, name)))
            return true;
    }
}

void CloseFolderListing(FolderListing* listing)
{
    if (listing->search != INVALID_HANDLE_VALUE)
        FindClose(listing->search);
    listing->search = INVALID_HANDLE_VALUE;
}
