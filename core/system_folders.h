// The system's own folders, and what is taken from them only: DLLs that are
// no KnownDLLs, which would otherwise be looked for in our own folder first,
// where anyone who can write beside a portable copy could plant one (and the
// elevated companion would run it), and the programs we start.
#pragma once
#include <windows.h>

// First thing at start-up: takes our own folder and the current folder out of
// the DLL search (SetDefaultDllDirectories where the system has it, Windows 7
// with KB2533623 and later; else SetDllDirectoryW(L""), XP SP1 and later).
void RestrictDllSearch();
// Loads a DLL by its full path in the system folder; NULL when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* name);
// The full path of a file in the system folder; false when it would not fit.
bool BuildSystemPath(const wchar_t* name, wchar_t* path, size_t capacity);
// The full path of a file in the Windows folder; false when it would not fit.
bool BuildWindowsPath(const wchar_t* name, wchar_t* path, size_t capacity);
// The native system folder's file: on 64-bit Windows a 32-bit program is
// redirected to SysWOW64 and reaches System32 through Sysnative; elsewhere
// the system folder itself.
bool BuildNativeSystemPath(const wchar_t* name, wchar_t* path, size_t capacity);
// The path to read a file by: for a 32-bit program on 64-bit Windows, a file
// in System32 is read through Sysnative, since the file system would hand it
// the SysWOW64 file of that name instead. Any other path as it is.
bool BuildReadablePath(const wchar_t* path, wchar_t* readable /* MAX_PATH */);
// Whether the full path `path` lies under the Windows folder or a Program
// Files folder (the native one too, for a 32-bit program on 64-bit Windows),
// once ".." and "." are resolved.
bool IsInAdministratorsFolder(const wchar_t* path);
