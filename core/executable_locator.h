// Finds the executable of a running process: the path the kernel keeps for
// it, never what the process's own memory says, except on XP, whose kernel
// gives no such path and where only the module list names it.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include "core/ascii_folding.h"

// What a Running Processes row, a sheet and a file's facts hold of a
// process's path: a longer one is refused whole, never cut.
const size_t PROCESS_PATH_CAPACITY = 1024;

bool LocateExecutable(const wchar_t* imageName, wchar_t* exePath /* MAX_PATH */);
bool FindModulePath(const PROCESSENTRY32W* process, wchar_t* exePath /* MAX_PATH */);
// The image path the kernel keeps for a process, as its drive path: asked
// with QueryFullProcessImageNameW (Vista and later, looked up at run time),
// then its native form mapped through the drives' device names, then
// NtQueryInformationProcess. Reaches processes whose modules a snapshot
// cannot read. False on XP, for a path longer than `capacity`, and
// whenever the path cannot be had.
bool QueryImagePathOf(HANDLE process, wchar_t* exePath, size_t capacity);
bool QueryProcessImagePath(DWORD processId, wchar_t* exePath /* MAX_PATH */);
bool QueryProcessImagePathWithin(DWORD processId, wchar_t* exePath, size_t capacity);
// Whether a process's path can come only from its own module list (XP),
// which the process itself can rewrite: such a path names no file for sure.
bool IsImagePathReportedByProcess();
// One process's executable for the Running Processes window and the sheet:
// the kernel's image path from Vista on, else the module list. The idle
// process has none.
bool FindProcessExecutable(const PROCESSENTRY32W* process, wchar_t* exePath /* PROCESS_PATH_CAPACITY */);
// The path to read a process's file by: short paths as BuildReadablePath
// gives them, a full drive path of MAX_PATH or more in its "\\?\" form.
// False when it does not fit `capacity`.
bool BuildImageReadPath(const wchar_t* path, wchar_t* readable, size_t capacity);
// Whether the row's or sheet's path of a process's file may be read, and by
// what name: a path that only the process reports must be a drive path
// (core/handed_path.h: never a share's, a pipe's or a device's); either
// must name an existing disk file, tested at identification level before
// any other call opens it. `readable` as BuildImageReadPath gives it.
bool PrepareImageRead(const wchar_t* path, bool reported, wchar_t* readable, size_t capacity);
