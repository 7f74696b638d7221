// The file a command line starts, found as CreateProcess and the shell find
// it. Every name here may come from a value the user can write: only a drive
// path is probed, as a disk file at identification level (core/handed_path).
// Any thread.
#pragma once
#include <windows.h>

// The most of a command line whose head is searched for its program.
const int COMMAND_HEAD_CAPACITY = 2048;

// The program a command line starts, its variables expanded: the
// quoted first part, or else the first run of words naming an existing file
// (as CreateProcess tries "C:\Program Files\a b.exe" part by part), ".exe"
// added where the name has no extension, a bare name looked for in the
// system and Windows folders, then in App Paths (HKLM's, then HKCU's).
// Variables are the machine's (core/system_environment.h). False when there is none.
bool FindCommandProgram(const wchar_t* commandLine, wchar_t* program /* MAX_PATH */);
// Whether two paths name the same file: full, long forms, letters A to Z folded.
bool SameFilePath(const wchar_t* a, const wchar_t* b);
// `path` full, in its long form where the file is there; as written where it
// is not, or where it may not be probed (a share, a device). False when it does not fit.
bool MakeCanonicalFilePath(const wchar_t* path, wchar_t* canonical /* MAX_PATH */);
