// The application state shared by every part of the program. The main
// window (app/main_window) runs the program; the parts read this record.
#pragma once
#include <windows.h>
#include "app/window_messages.h"
#include <shellapi.h>
#include "tavrowen_identity.h"

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
    TrayIconData trayIcon;
    BYTE dialogGuards;
    BYTE autostartMode;
    BYTE trayIconAdded;   // the shell holds our icon: added and not yet removed
    BYTE shutdownBegun;   // a shutdown request arrived or WM_DESTROY ran
    BYTE mainWindowMade;  // CreateWindowExW has returned the main window
    BYTE shutDownDone;    // the shutdown steps have run
};

extern AppState appState;

// True once shutdown has begun: start-up, which a request can reach inside
// the splash screen's or a message box's modal loop, goes no further.
bool StartUpInterrupted();
// Whole-string comparison that folds only the letters A to Z.
bool IsSwitch(const wchar_t* commandLine, const wchar_t* name);
