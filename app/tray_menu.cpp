#include "app/tray_menu.h"
#include "app/app_state.h"
#include "app/elevation.h"
#include "resource.h"

// Placeholder until the tray menu lands.
void TrayCallback(LPARAM mouseMessage)
{
}

bool DispatchCommand(WPARAM wParam)
{
    if (LOWORD(wParam) == IDM_EXIT) {
        PostMessageW(appState.mainWindow, WM_SHUTDOWN_REQUEST, 0, 0);
        return true;
    }
    return false;
}

void ShowOrStartTaskManager()
{
    RelaunchElevated();
    if (FindTaskManager(&appState.view)) {
        ShowWindow(appState.view.window, SW_SHOWNORMAL);
        SetForegroundWindow(appState.view.window);
    } else {
        StartTaskManager();
    }
}

void StartTaskManager()
{
    // CreateProcessW may write into its command line.
    wchar_t commandLine[MAX_PATH] = L"taskmgr.exe";
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, L"C:\\", &startup, &process);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
}
