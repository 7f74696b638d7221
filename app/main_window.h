// The program's hidden main window, which owns the tray icon and the strip
// and dispatches their commands, and the run from start-up to exit.
#pragma once
#include <windows.h>

// Runs the program for the whole command-line tail; returns the exit code.
// companionWaitMs: how long the elevated companion waits for the copy that
// handed over to it to end before it calls itself a second instance.
int RunTavrowen(HINSTANCE instance, const wchar_t* commandLine, DWORD companionWaitMs);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
