// What the program asks of the system it runs on: the Windows version,
// elevation, the access a process query needs, and its own folder.
#pragma once
#include <windows.h>

bool IsVistaOrLater();
bool IsWindows8OrLater();
bool IsElevated();
// SPI_GETHIGHCONTRAST, read at each call so a change shows at the next paint.
bool IsHighContrastOn();
// Whether the process's token is elevated; false when it cannot be read.
bool IsProcessElevated(HANDLE process);
// A 32-bit program on 64-bit Windows (IsWow64Process, missing before XP SP2).
bool IsRunningUnderWow64();
// Whether `process` runs under WOW64, into *wow64: false where the system
// lacks IsWow64Process, as no 64-bit Windows does. False returned when the
// process cannot be asked.
bool ReadProcessWow64(HANDLE process, bool* wow64);
// PROCESS_QUERY_LIMITED_INFORMATION, Vista and later, named here so the
// program builds against headers that predate it.
const DWORD PROCESS_QUERY_LIMITED = 0x1000;
// The access that reads a process's times and image path and waits on it:
// the limited query right on Vista and later, which reaches more processes.
DWORD ProcessQueryAccess();
// Room for any module path the system can give.
const DWORD MODULE_PATH_CAPACITY = 65535;
// GetDriveTypeW of a drive's root ("C:\"), answered from an asking of the
// last two seconds: a list's files share a few drives, and asking can take
// a round trip to the system's mount manager. Any other root is asked afresh.
// Any thread.
UINT ReadDriveTypeRecently(const wchar_t* root);
// The full path of fileName in our own program's folder, or fileName alone
// when the program's path has no folder. False when it would not fit.
bool BuildPathBesideProgram(const wchar_t* fileName, wchar_t* path, size_t capacity);
