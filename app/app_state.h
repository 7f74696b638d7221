// The application state shared by every part of the program.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include "taskmgr/task_manager_view.h"

#define WM_TRAY_CALLBACK    (WM_APP + 0x20)
#define WM_SHUTDOWN_REQUEST (WM_APP + 0x21)

const BYTE ABOUT_DIALOG_OPEN = 1;
const BYTE SEARCH_DIALOG_OPEN = 2;

// The tray record as Vista and later define it (with hBalloonIcon), so the
// size we pass is the full one whatever _WIN32_WINNT says.
struct TrayIconData {
    NOTIFYICONDATAW base;
    HICON balloonIcon;
};

struct AppState {
    HINSTANCE instance;
    HANDLE instanceMutex;
    HWND mainWindow;
    HWND linkStrip;
    HWND spyWindow;
    TaskManagerView view;
    TrayIconData trayIcon;
    BYTE dialogGuards;
    BYTE autostartMode;
};

extern AppState appState;

// Runs the program for the whole command-line tail; returns the exit code.
// companionWaitMs: how long the elevated companion waits for the copy that
// handed over to it to end before it calls itself a second instance.
int RunTavrowen(HINSTANCE instance, const wchar_t* commandLine, DWORD companionWaitMs);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Whole-string comparison that folds only the letters A to Z.
bool IsSwitch(const wchar_t* commandLine, const wchar_t* name);
