// The application state shared by every part of the program.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include "core/lookup_url.h"
#include "tavrowen_identity.h"

#define WM_TRAY_CALLBACK    (WM_APP + 0x20)
#define WM_SHUTDOWN_REQUEST TAVROWEN_SHUTDOWN_MESSAGE

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

// Runs the program for the whole command-line tail; returns the exit code.
// companionWaitMs: how long the elevated companion waits for the copy that
// handed over to it to end before it calls itself a second instance.
int RunTavrowen(HINSTANCE instance, const wchar_t* commandLine, DWORD companionWaitMs);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// True once shutdown has begun: start-up, which a request can reach inside
// the splash screen's or a message box's modal loop, goes no further.
bool StartUpInterrupted();
// The hand-over ends the process without the shutdown steps: takes away what
// would outlive it (the tray icon) first.
void PrepareForHandOver();
// Whole-string comparison that folds only the letters A to Z.
bool IsSwitch(const wchar_t* commandLine, const wchar_t* name);
// On Windows 8 and later, whose Task Manager leaves no room for the strip:
// once per user, a balloon from the tray icon pointing to the Running
// Processes window.
void ShowProcessesHintOnce();
// An address the elevated program would not open itself waits on the
// clipboard: a tray balloon says so.
void TellIfAddressOnClipboard(AddressOpening opening);
