// A DLL that hosts run: rundll32 calls HoldOpen, which idles two minutes;
// svchost calls ServiceMain, which runs until the service is stopped.
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static HANDLE stopped;

static void Report(DWORD state)
{
    SERVICE_STATUS status = {SERVICE_WIN32_SHARE_PROCESS, state, SERVICE_ACCEPT_STOP, NO_ERROR, 0, 0, 0};
    SetServiceStatus(statusHandle, &status);
}

static DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP)
        SetEvent(stopped);
    return NO_ERROR;
}

extern "C" __declspec(dllexport) void WINAPI ServiceMain(DWORD argc, LPWSTR* argv)
{
    stopped = CreateEventW(NULL, TRUE, FALSE, NULL);
    statusHandle = RegisterServiceCtrlHandlerExW(argc ? argv[0] : L"", Control, NULL);
    if (!statusHandle)
        return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopped, 120000);
    Report(SERVICE_STOPPED);
}

extern "C" __declspec(dllexport) void CALLBACK HoldOpen(HWND, HINSTANCE, LPSTR, int)
{
    Sleep(120000);
}
