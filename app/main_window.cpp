#include "app/main_window.h"
#include "core/program_text.h"
#include "app/app_state.h"
#include <objbase.h>
#include <strsafe.h>
#include "app/dialogs.h"
#include "app/file_lookup.h"
#include "app/lookup_hotkey.h"
#include "app/process_window.h"
#include "app/report_command.h"
#include "app/startup_window.h"
#include "app/tray_icon.h"
#include "app/tray_menu.h"
#include "core/ascii_folding.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/system_probes.h"
#include "core/window_class.h"
#include "core/background_jobs.h"
#include "lookup/process_lookup.h"
#include "taskmgr/attachment.h"
#include "resource.h"
#include "tavrowen_identity.h"

static const wchar_t mainWindowClass[] = TAVROWEN_WINDOW_CLASS;
static const wchar_t instanceMutexName[] = L"Veltrix - Tavrowen";
static const wchar_t messageCaption[] = L"Tavrowen2";
// The exit code of a "/shutdown" whose request could not be posted.
static const int SHUTDOWN_NOT_DELIVERED = 2;
static const DWORD MESSAGE_FILTER_ALLOW = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD before Windows 7

// Broadcast by the shell when its taskbar is made anew (Explorer restarted).
static UINT taskbarCreatedMessage;
// The result of initialising COM on our thread, kept to undo it at exit.
static HRESULT comStarted = E_FAIL;

// Takes the instance mutex; false when another copy holds it.
static bool ClaimInstanceMutex(DWORD companionWaitMs)
{
    SetLastError(0);
    HANDLE mutex = CreateMutexW(NULL, TRUE, instanceMutexName);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        // A copy that handed over to us ends while owning the mutex; its end
        // abandons the mutex to us. A running copy keeps it: we time out.
        DWORD waited = companionWaitMs ? WaitForSingleObject(mutex, companionWaitMs) : WAIT_TIMEOUT;
        if (waited != WAIT_ABANDONED && waited != WAIT_OBJECT_0) {
            CloseHandle(mutex);
            mutex = NULL;
        }
    }
    if (!mutex)
        return false;
    appState.instanceMutex = mutex;
    return true;
}

// Lets the two messages that carry no data through to the main window from
// processes below ours when we run elevated (Vista and later; XP has no
// filter): the shutdown request and the new taskbar. Nothing else: a path
// or a drop from a lower process is never taken by an elevated copy, which
// would open it with the administrator's token. On Windows 7 and later the
// window alone admits them; Vista can only change the whole process's filter.
static void AllowMessagesFromOtherProcesses(HWND window)
{
    typedef BOOL (WINAPI* ChangeWindowFilterProc)(HWND, UINT, DWORD, void*);
    typedef BOOL (WINAPI* ChangeProcessFilterProc)(UINT, DWORD);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32)
        return;
    ChangeWindowFilterProc changeWindowFilter =
        (ChangeWindowFilterProc)(void*)GetProcAddress(user32, "ChangeWindowMessageFilterEx");
    ChangeProcessFilterProc changeProcessFilter =
        (ChangeProcessFilterProc)(void*)GetProcAddress(user32, "ChangeWindowMessageFilter");
    const UINT messages[] = {WM_SHUTDOWN_REQUEST, taskbarCreatedMessage};
    for (int i = 0; i < (int)ARRAYSIZE(messages); ++i) {
        if (!messages[i])
            continue;
        if (changeWindowFilter)
            changeWindowFilter(window, messages[i], MESSAGE_FILTER_ALLOW, NULL);
        else if (changeProcessFilter)
            changeProcessFilter(messages[i], MESSAGE_FILTER_ALLOW);
    }
}

// Asks the running copy, if any, to quit. No running copy is no failure; a
// request that cannot be posted (blocked by the receiver's filter) is.
static int SendShutdownRequest()
{
    HWND running = FindWindowW(mainWindowClass, NULL);
    if (running && !PostMessageW(running, WM_SHUTDOWN_REQUEST, 0, 0))
        return SHUTDOWN_NOT_DELIVERED;
    return 0;
}

static void ShowAlreadyRunning()
{
    wchar_t text[128];
    if (!LoadProgramText(IDS_ALREADY_RUNNING, text, ARRAYSIZE(text)))
        text[0] = L'\0';
    MessageBoxW(NULL, text, messageCaption, MB_OK);
}

static bool CreateMainWindow()
{
    if (!RegisterOwnWindowClass(appState.instance, mainWindowClass, MainWindowProc, CS_HREDRAW | CS_VREDRAW,
                                IDC_HAND, COLOR_ACTIVEBORDER, NULL, NULL))
        return false;
    appState.mainWindow = CreateWindowExW(0, mainWindowClass, mainWindowClass, WS_POPUP,
                                          0, 0, 0, 0, NULL, NULL, appState.instance, NULL);
    appState.mainWindowMade = appState.mainWindow != NULL;
    return appState.mainWindow != NULL;
}

// The busy cursor was set over one of our windows while a lookup was
// pending; put back that window's own cursor without waiting for the mouse
// to move.
static void RestoreCursorOverOwnWindow()
{
    POINT point;
    if (IsLookupPending() || !GetCursorPos(&point))
        return;
    HWND window = WindowFromPoint(point);
    if (!window || GetWindowThreadProcessId(window, NULL) != GetCurrentThreadId())
        return;
    HCURSOR cursor = (HCURSOR)GetClassLongPtrW(window, GCLP_HCURSOR);
    if (cursor)
        SetCursor(cursor);
}

// The shutdown steps, once: from WM_DESTROY, or from a request that arrived
// inside WM_CREATE's modal loops, before the window could be destroyed.
static void ShutDown()
{
    appState.shutdownBegun = 1;
    if (appState.shutDownDone)
        return;
    appState.shutDownDone = 1;
    StopBackgroundJobs();
    CloseProcessWindow();
    CloseStartupWindow();
    UnregisterLookUpHotkey(appState.mainWindow);
    RemoveTrayIcon();
    StopAttachment();
    if (appState.instanceMutex)
        CloseHandle(appState.instanceMutex);
    appState.instanceMutex = NULL;
    PostQuitMessage(0);
}

static void ReportIntegrationFailure(HWND window)
{
    wchar_t text[128];
    if (!LoadProgramText(IDS_INTEGRATION_FAILED, text, ARRAYSIZE(text)))
        text[0] = L'\0';
    MessageBoxW(window, text, messageCaption, MB_OK);
    PostMessageW(window, WM_SHUTDOWN_REQUEST, 0, 0);
}

// Makes the spy and the strip, greets the user, starts Task Manager unless
// started at logon, and looks for Task Manager from then on.
static bool StartIntegration(HWND mainWindow)
{
    if (!CreateIntegrationWindows(appState.instance, mainWindow, IsExtendedInfoOn))
        return false;
    // Modal: start-up goes on once the splash screen has closed.
    // High contrast: no splash, whose artwork has colours of its own.
    if (!appState.autostartMode && !ReadSetting(noSplashSetting) && !IsHighContrastOn())
        ShowSplash(AttachedTaskManagerWindow());
    // A shutdown asked for under the splash screen: no Task Manager, no timer.
    if (StartUpInterrupted())
        return true;
    if (!appState.autostartMode)
        ShowOrStartTaskManager();
    StartAttachPolling();
    return true;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (taskbarCreatedMessage && message == taskbarCreatedMessage) {
        RestoreTrayIcon();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        appState.mainWindow = window;
        RegisterLookUpHotkey(window);
        if (!StartIntegration(window))
            ReportIntegrationFailure(window);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && DispatchCommand(wParam))
            return 0;
        break;
    case WM_HOTKEY:
        if (wParam == LOOK_UP_HOTKEY_ID)
            LookUpSelectedProcess();
        return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // The strip lies in Task Manager, which hears of the change, not the strip.
        RedrawLinkStrip();
        break;
    case WM_TRAY_CALLBACK:
        TrayCallback(lParam);
        return 0;
    case WM_LOOKUP_FINISHED:
        TellIfAddressOnClipboard(OpenFinishedLookup(window, lParam, ReportUnreadableFile));
        RestoreCursorOverOwnWindow();
        return 0;
    case WM_COPYDATA:
        return ReceiveLookupPath((const COPYDATASTRUCT*)lParam);
    case WM_SHUTDOWN_REQUEST:
        // From here on start-up, if it is still running, goes no further.
        appState.shutdownBegun = 1;
        // Inside WM_CREATE the window is not ours to destroy yet: the steps
        // run now, and start-up destroys the window once it has returned.
        if (appState.mainWindowMade)
            DestroyWindow(window);
        else
            ShutDown();
        return 0;
    case WM_DESTROY:
        ShutDown();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Every run ends here: free what was loaded and undo COM.
static int EndRun(int exitCode)
{
    if (SUCCEEDED(comStarted))
        CoUninitialize();
    comStarted = E_FAIL;
    return exitCode;
}

// Start-up stops here: leave what was made to process exit.
static int StopStartUp()
{
    return EndRun(0);
}

// A shutdown request reached us inside WM_CREATE's modal loops (the splash
// screen, the integration failure box): its steps ran there; the window goes
// now, and the run ends as a shutdown does.
static int EndInterruptedStartUp()
{
    ShutDown();
    DestroyWindow(appState.mainWindow);
    return EndRun(1);
}

int RunTavrowen(HINSTANCE instance, const wchar_t* commandLine, DWORD companionWaitMs)
{
    appState.instance = instance;
    ResetAttachment();
    appState.trayIconAdded = 0;
    appState.shutdownBegun = 0;
    appState.mainWindowMade = 0;
    appState.shutDownDone = 0;

    if (IsSwitch(commandLine, L"/shutdown"))
        return EndRun(SendShutdownRequest());
    appState.autostartMode = IsSwitch(commandLine, L"/autostart") ? 1 : 0;

    // Once for the whole run: the shell's URL handlers may be COM objects.
    comStarted = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    // A lookup of one file: no tray icon, no splash screen, no Task Manager.
    if (IsLookupCommand(commandLine))
        return EndRun(RunLookupCommand(commandLine));
    // A report: no window of the tray program's class, no tray icon, no splash screen.
    if (IsReportCommand(commandLine))
        return EndRun(RunReportCommand(commandLine));
    taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");

    if (!ClaimInstanceMutex(companionWaitMs)) {
        ShowAlreadyRunning();
        return StopStartUp();
    }
    if (!CreateMainWindow())
        return StopStartUp();
    AllowMessagesFromOtherProcesses(appState.mainWindow);
    if (StartUpInterrupted())
        return EndInterruptedStartUp();
    if (!AddTrayIcon())
        return StopStartUp();
    if (!EnsureSettingsKey())
        return StopStartUp();
    ShowProcessesHintOnce();

    // The Running Processes and Startup Entries windows take keyboard input; nothing else needs
    // translating.
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        if (!HandleProcessWindowMessage(&message) && !HandleStartupWindowMessage(&message))
            DispatchMessageW(&message);
    }
    return EndRun(1);
}
