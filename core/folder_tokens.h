// Rewrites directories with folder tokens such as %programfiles%.
#pragma once
#include <windows.h>

// Ten folders, then the native Program Files and Common Files folders that a
// 32-bit program on 64-bit Windows resolves too, then their x86 counterparts.
const int FOLDER_TOKEN_ROWS = 14;
const int FOLDER_TOKEN_TEXT_CAPACITY = 1040;

struct FolderTokenRow {
    const wchar_t* token;
    int csidl;          // -1: not a shell folder
    wchar_t* path;      // heap copy, no trailing backslash; null while unresolved
    int length;
};

struct FolderTokenTable {
    FolderTokenRow rows[FOLDER_TOKEN_ROWS];
};

extern FolderTokenTable folderTokenTable;
extern bool folderTableResolved;

bool ApplyFolderTokens(const wchar_t* directory, wchar_t* output /* FOLDER_TOKEN_TEXT_CAPACITY */);
void ResolveFolderTokens();
void ReleaseFolderTokens();
