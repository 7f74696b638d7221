#include "app/tray_menu.h"
#include "core/program_language.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "app/failure_report.h"
#include "app/dialogs.h"
#include "app/elevation.h"
#include "app/language_menu.h"
#include "app/lookup_hotkey.h"
#include "app/process_window.h"
#include "app/startup_window.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/system_folders.h"
#include "taskmgr/attachment.h"
#include "resource.h"

void TrayCallback(LPARAM mouseMessage)
{
    switch ((UINT)mouseMessage) {
    case WM_LBUTTONDBLCLK:
        ShowOrStartTaskManager();
        break;
    case WM_RBUTTONUP:
        ShowTrayMenu();
        break;
    case NIN_BALLOONUSERCLICK:  // the hint pointing to the Running Processes window
        ShowProcessWindow();
        break;
    }
}

// Whether a window answers at once; no window counts as answering.
static bool AnswersAtOnce(HWND window)
{
    LRESULT answer = 0;
    return !window || AskTaskManager(window, WM_NULL, 0, 0, &answer);
}

static void CheckMenuCommand(HMENU menu, UINT command, bool checked)
{
    CheckMenuItem(menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void ShowTrayMenu()
{
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    HMENU menu = LoadProgramMenu(IDR_TASKMENU);
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup) {
        // Read afresh each time: another copy or the user may have changed them.
        CheckMenuCommand(popup, IDM_AUTOSTART, AutostartEntry(false));
        CheckMenuCommand(popup, IDM_EXTENDED_INFO, ReadSetting(extendedInfoSetting));
        CheckMenuCommand(popup, IDM_SPLASH, !ReadSetting(noSplashSetting));
        ShowLookUpHotkeyInMenu(popup, IDM_LOOK_UP_SELECTED);
        FillLanguageMenu(popup);
        // Without this a click outside the menu would not dismiss it. It
        // deactivates the window in front and the active window of the input
        // we share with Task Manager while the strip lies in it, with messages
        // that wait for an answer: a hung Task Manager would hold the menu.
        if (AnswersAtOnce(GetForegroundWindow()) && AnswersAtOnce(GetActiveWindow()))
            SetForegroundWindow(appState.mainWindow);
        TrackPopupMenuEx(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, appState.mainWindow, NULL);
        // Lets the next opening of the menu stay open.
        PostMessageW(appState.mainWindow, WM_NULL, 0, 0);
    }
    DestroyMenu(menu);
}

bool DispatchCommand(WPARAM wParam)
{
    if (DispatchLanguageCommand(LOWORD(wParam)))
        return true;
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        ShowAboutDialog(AttachedTaskManagerWindow());
        return true;
    case IDM_EXTENDED_INFO:
        ToggleSetting(extendedInfoSetting);
        return true;
    case IDM_AUTOSTART:
        AutostartEntry(true);
        return true;
    case IDM_EXIT:
        PostMessageW(appState.mainWindow, WM_SHUTDOWN_REQUEST, 0, 0);
        return true;
    case IDM_SEARCH:
        ShowSearchDialog(AttachedTaskManagerWindow());
        return true;
    case IDM_SPLASH:
        ToggleSetting(noSplashSetting);
        return true;
    case IDM_TASK_MANAGER:
        ShowOrStartTaskManager();
        return true;
    case IDM_PROCESSES:
        ShowProcessWindow();
        return true;
    case IDM_STARTUP_ENTRIES:
        ShowStartupWindow();
        return true;
    case IDM_LOOK_UP_SELECTED:
        LookUpSelectedProcess();
        return true;
    }
    return false;
}

void ShowOrStartTaskManager()
{
    if (!RelaunchElevated())
        return;
    if (FindAttachedTaskManager()) {
        ShowWindow(AttachedTaskManagerWindow(), SW_SHOWNORMAL);
        SetForegroundWindow(AttachedTaskManagerWindow());
    } else {
        StartTaskManager();
    }
}

void StartTaskManager()
{
    // By its full path: a bare name is looked for in our own folder and the
    // current one first. The native one, the Task Manager the user would start.
    wchar_t program[MAX_PATH];
    if (!BuildNativeSystemPath(L"taskmgr.exe", program, ARRAYSIZE(program)))
        return;
    // CreateProcessW may write into its command line.
    wchar_t commandLine[MAX_PATH + 2];
    if (FAILED(StringCchPrintfW(commandLine, ARRAYSIZE(commandLine), L"\"%s\"", program)))
        return;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    // Started in the system folder, as Windows starts it: a folder anyone can
    // write to would be searched for what Task Manager loads by name.
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, ARRAYSIZE(folder));
    if (length == 0 || length >= ARRAYSIZE(folder))
        return;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessW(program, commandLine, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
        ReportFailure(IDS_CANNOT_START_TASK_MANAGER, program, GetLastError());
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
}
