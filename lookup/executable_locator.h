// Finds the executable of a running process from its image name.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

bool LocateExecutable(const wchar_t* imageName, wchar_t* exePath /* MAX_PATH */);
bool FindModulePath(const PROCESSENTRY32W* process, wchar_t* exePath /* MAX_PATH */);
// Equal when the lengths match and the characters match with only A to Z folded.
bool EqualFoldingAsciiLetters(const wchar_t* a, const wchar_t* b, size_t length);
