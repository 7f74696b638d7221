#include "core/system_probes.h"
#include "core/lazy_lock.h"
#include <strsafe.h>
#include "core/seams.h"

// Defined here so the program builds against headers that predate Vista.
static const int TOKEN_ELEVATION_CLASS = 20;  // TokenElevation

static bool ReadVersion(OSVERSIONINFOW* version)
{
    ZeroMemory(version, sizeof(*version));
    version->dwOSVersionInfoSize = sizeof(*version);
    return seams.getVersion(version) != FALSE;
}

bool IsVistaOrLater()
{
    OSVERSIONINFOW version;
    return ReadVersion(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 5;
}

bool IsWindows8OrLater()
{
    OSVERSIONINFOW version;
    if (!ReadVersion(&version))
        return false;
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
}

bool IsElevated()
{
    return IsProcessElevated(GetCurrentProcess());
}

bool IsProcessElevated(HANDLE process)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return false;
    DWORD elevation = 0;
    DWORD returned = 0;
    BOOL queried = seams.getTokenInformation(token, (TOKEN_INFORMATION_CLASS)TOKEN_ELEVATION_CLASS, &elevation,
                                             sizeof(elevation), &returned);
    CloseHandle(token);
    return queried && elevation != 0;
}

bool ReadProcessWow64(HANDLE process, bool* wow64)
{
    typedef BOOL (WINAPI* IsWow64ProcessProc)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    IsWow64ProcessProc query = kernel ? (IsWow64ProcessProc)(void*)GetProcAddress(kernel, "IsWow64Process") : NULL;
    *wow64 = false;
    if (!query)
        return true;
    BOOL answer = FALSE;
    if (!query(process, &answer))
        return false;
    *wow64 = answer != FALSE;
    return true;
}

bool IsRunningUnderWow64()
{
    bool wow64 = false;
    return ReadProcessWow64(GetCurrentProcess(), &wow64) && wow64;
}

DWORD ProcessQueryAccess()
{
    return SYNCHRONIZE | (IsVistaOrLater() ? PROCESS_QUERY_LIMITED : PROCESS_QUERY_INFORMATION);
}

bool BuildPathBesideProgram(const wchar_t* fileName, wchar_t* path, size_t capacity)
{
    wchar_t* modulePath = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                              MODULE_PATH_CAPACITY * sizeof(wchar_t));
    if (!modulePath)
        return false;
    bool fits = false;
    DWORD length = GetModuleFileNameW(NULL, modulePath, MODULE_PATH_CAPACITY);
    // A full buffer means the path was cut.
    if (length > 0 && length < MODULE_PATH_CAPACITY) {
        wchar_t* lastBackslash = wcsrchr(modulePath, L'\\');
        if (lastBackslash)
            lastBackslash[1] = L'\0';
        else
            modulePath[0] = L'\0';
        fits = SUCCEEDED(StringCchCopyW(path, capacity, modulePath)) &&
               SUCCEEDED(StringCchCatW(path, capacity, fileName));
    }
    HeapFree(GetProcessHeap(), 0, modulePath);
    return fits;
}

bool IsHighContrastOn()
{
    HIGHCONTRASTW contrast;
    ZeroMemory(&contrast, sizeof(contrast));
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

static const DWORD DRIVE_TYPE_AGE_MS = 2000;
struct DriveTypeAnswer {
    UINT type;
    DWORD readAt;
    bool known;
};
static DriveTypeAnswer driveTypes[26];
static CRITICAL_SECTION driveTypesLock;
static volatile LONG driveTypesLockState;

// 0 to 25 for "A:\" to "Z:\", either case; -1 for any other root.
static int DriveIndexOf(const wchar_t* root)
{
    wchar_t letter = root[0];
    if (letter >= L'a' && letter <= L'z')
        letter = (wchar_t)(letter - L'a' + L'A');
    if (letter < L'A' || letter > L'Z' || root[1] != L':' || root[2] != L'\\' || root[3] != L'\0')
        return -1;
    return letter - L'A';
}

UINT ReadDriveTypeRecently(const wchar_t* root)
{
    int drive = DriveIndexOf(root);
    if (drive < 0)
        return GetDriveTypeW(root);
    MakeLockOnce(&driveTypesLock, &driveTypesLockState);
    EnterCriticalSection(&driveTypesLock);
    DriveTypeAnswer answer = driveTypes[drive];
    LeaveCriticalSection(&driveTypesLock);
    if (answer.known && GetTickCount() - answer.readAt <= DRIVE_TYPE_AGE_MS)
        return answer.type;
    // Asked with no lock held: another thread may ask the same meanwhile, and both answers hold.
    answer.type = GetDriveTypeW(root);
    answer.readAt = GetTickCount();
    answer.known = true;
    EnterCriticalSection(&driveTypesLock);
    driveTypes[drive] = answer;
    LeaveCriticalSection(&driveTypesLock);
    return answer.type;
}
