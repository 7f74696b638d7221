// Another process's command line and current folder, as it was started and
// as it stands, read where access allows: from either build, of a process of
// either bitness. Any thread; each call by PID opens and closes its own
// handle, each call "Of" reads through the handle it is given, so that
// everything read of a process comes from the one that handle holds.
#pragma once
#include <windows.h>

// The longest command line Windows starts (32,767 characters) and its terminator.
const size_t COMMAND_LINE_CAPACITY = 32768;

// The process's command line into `commandLine` (COMMAND_LINE_CAPACITY
// characters). Where the system has the kernel's own query (Windows 8.1 and
// later) it asks that; else it reads the process's parameters block, through
// the 32-bit block for a 32-bit process seen from a 64-bit build (its native
// block where the system gives no address of that one, as Wine does) and through
// the 64-bit calls for a 64-bit process seen from a 32-bit build. False with
// an empty text when the process cannot be read or gives a length that does
// not hold: never a part read or a cut text.
bool ReadProcessCommandLine(DWORD processId, wchar_t* commandLine);
// The parameters block alone, as before Windows 8.1, so that way is checked
// on a system that has the query too.
bool ReadCommandLineFromParameters(DWORD processId, wchar_t* commandLine);

// The process's current folder (its parameters' CurrentDirectory) into
// `folder` (MAX_PATH characters), without the trailing backslash unless it is
// a drive's root. False with an empty text when it cannot be read or is longer.
bool ReadProcessCurrentFolder(DWORD processId, wchar_t* folder);

// The same through a handle (from OpenListedProcess, or any handle with the
// query right, and the memory read right for the parameters block).
bool ReadProcessCommandLineOf(HANDLE process, wchar_t* commandLine);
bool ReadProcessCurrentFolderOf(HANDLE process, wchar_t* folder);

// Opens the process under `processId` for every read above and for the images
// mapped in it (the full query and memory read rights where given, else the
// memory read right, else the query right alone) and fills *startTime
// (0: unknown). NULL when it cannot be opened, or when it started at another
// time than `listedStart` (0: any): a newer process took the PID since.
// The caller closes it.
HANDLE OpenListedProcess(DWORD processId, unsigned long long listedStart, unsigned long long* startTime);
