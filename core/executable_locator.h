// Finds the executable of a running process from its image name: from its
// module list, or, for a process of the other bitness, from its image path.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include "core/ascii_folding.h"

bool LocateExecutable(const wchar_t* imageName, wchar_t* exePath /* MAX_PATH */);
bool FindModulePath(const PROCESSENTRY32W* process, wchar_t* exePath /* MAX_PATH */);
// The image path the system keeps for a process (QueryFullProcessImageNameW,
// Vista and later, looked up at run time); reaches processes whose modules a
// snapshot cannot read. False on XP and whenever the path cannot be had.
bool QueryProcessImagePath(DWORD processId, wchar_t* exePath /* MAX_PATH */);
// One process's executable for the Running Processes window: the system's
// image path where it has one (Vista and later), which gives the same file as
// the module list at a fraction of a module snapshot's cost, else the module
// list. The idle process has none.
bool FindProcessExecutable(const PROCESSENTRY32W* process, wchar_t* exePath /* MAX_PATH */);
