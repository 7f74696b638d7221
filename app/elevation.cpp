#include "app/elevation.h"
#include <shellapi.h>
#include <strsafe.h>
#include "app/app_state.h"

// Defined here so the program builds against headers that predate Vista.
static const int TOKEN_ELEVATION_CLASS = 20;   // TokenElevation
static const DWORD MODULE_PATH_CAPACITY = 65535;
static const wchar_t companionName[] = L"Tavrowen2Admin.exe";

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

bool RelaunchElevated()
{
    if (!IsVistaOrLater() || IsElevated())
        return true;
    // Ending under an open dialog would leave its owner disabled; once
    // shutdown has begun there is nothing left to hand over.
    if (appState.dialogGuards != 0 || StartUpInterrupted())
        return false;
    // The directory and, behind it, the companion's full path.
    wchar_t* directory = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                             2 * MODULE_PATH_CAPACITY * sizeof(wchar_t));
    if (!directory)
        return true;
    wchar_t* companion = directory + MODULE_PATH_CAPACITY;
    DWORD length = GetModuleFileNameW(NULL, directory, MODULE_PATH_CAPACITY);
    wchar_t* lastBackslash = (length > 0 && length < MODULE_PATH_CAPACITY) ? wcsrchr(directory, L'\\') : NULL;
    HINSTANCE result = NULL;
    if (lastBackslash) {
        lastBackslash[1] = L'\0';
        // By its full path: with the bare name, a missing companion would let the
        // shell's search start another file of that name, elevated.
        if (SUCCEEDED(StringCchCopyW(companion, MODULE_PATH_CAPACITY, directory)) &&
            SUCCEEDED(StringCchCatW(companion, MODULE_PATH_CAPACITY, companionName)))
            result = ShellExecuteW(NULL, L"open", companion, NULL, directory, SW_SHOWDEFAULT);
    }
    HeapFree(GetProcessHeap(), 0, directory);
    if ((UINT_PTR)result > 32) {
        PrepareForHandOver();
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return true;
}
