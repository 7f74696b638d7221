#include "app/elevation.h"
#include <shellapi.h>
#include "lookup/lookup_worker.h"

// Defined here so the program builds against headers that predate Vista.
static const int TOKEN_ELEVATION_CLASS = 20;   // TokenElevation
static const DWORD MODULE_PATH_CAPACITY = 65535;

GetVersionProc elevationGetVersion = GetVersionExW;
GetTokenInformationProc elevationGetTokenInformation = GetTokenInformation;

bool IsVistaOrLater()
{
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!elevationGetVersion(&version))
        return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 5;
}

bool IsElevated()
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD elevation = 0;
    DWORD returned = 0;
    BOOL queried = elevationGetTokenInformation(token, (TOKEN_INFORMATION_CLASS)TOKEN_ELEVATION_CLASS,
                                                &elevation, sizeof(elevation), &returned);
    CloseHandle(token);
    return queried && elevation != 0;
}

void RelaunchElevated()
{
    if (!IsVistaOrLater() || IsElevated())
        return;
    wchar_t* directory = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                             MODULE_PATH_CAPACITY * sizeof(wchar_t));
    if (!directory)
        return;
    DWORD length = GetModuleFileNameW(NULL, directory, MODULE_PATH_CAPACITY);
    wchar_t* lastBackslash = (length > 0 && length < MODULE_PATH_CAPACITY) ? wcsrchr(directory, L'\\') : NULL;
    HINSTANCE result = NULL;
    if (lastBackslash) {
        lastBackslash[1] = L'\0';
        result = ShellExecuteW(NULL, L"open", L"Tavrowen2Admin.exe", NULL, directory, SW_SHOWDEFAULT);
    }
    HeapFree(GetProcessHeap(), 0, directory);
    if ((UINT_PTR)result > 32) {
        StopLookupWorker();
        TerminateProcess(GetCurrentProcess(), 0);
    }
}
