// Whether the user can add a file to a folder, asked of the folder's own
// security descriptor: a list of well-known folders misses Windows\Temp,
// spool\drivers\color and whatever an installer made under ProgramData.
#pragma once
#include <windows.h>

enum FolderAccess {
    FOLDER_ACCESS_UNKNOWN = 0,  // the check could not run
    FOLDER_WRITABLE_BY_USER,
    FOLDER_NOT_WRITABLE_BY_USER
};

// An access check for FILE_ADD_FILE on `folder` (a probeable name, see
// core/handed_path.h) against the user's token: this process's, or, when
// it runs elevated, the limited token of the same logon, since the person
// behind the desktop writes with that one.
FolderAccess CheckUserCanAddFile(const wchar_t* folder);
// The same, answered from a check of the last two seconds: most files of a
// list share a few folders, and a change shows at a file read later. Any thread.
FolderAccess CheckUserCanAddFileRecently(const wchar_t* folder);

// The folder holding the file at `path` into `folder` (MAX_PATH): "C:\" for a
// file in a drive's root, never "C:", which is the drive's current folder.
// False for a path with no folder part or too long.
bool FindFolderOfFile(const wchar_t* path, wchar_t* folder /* MAX_PATH */);
