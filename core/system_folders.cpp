#include "core/system_folders.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/system_probes.h"

static const DWORD SEARCH_SYSTEM32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

void RestrictDllSearch()
{
    typedef BOOL (WINAPI* SetDefaultDllDirectoriesProc)(DWORD);
    typedef BOOL (WINAPI* SetDllDirectoryProc)(LPCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
        return;
    SetDefaultDllDirectoriesProc setDefault =
        (SetDefaultDllDirectoriesProc)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(SEARCH_SYSTEM32))
        return;
    SetDllDirectoryProc setDirectory = (SetDllDirectoryProc)(void*)GetProcAddress(kernel, "SetDllDirectoryW");
    if (setDirectory)
        setDirectory(L"");
}

// Joins a folder the system gave (length `length` of `capacity`) and a name.
static bool JoinFolder(UINT length, const wchar_t* name, wchar_t* path, size_t capacity)
{
    if (length == 0 || length >= capacity)
        return false;
    return SUCCEEDED(StringCchCatW(path, capacity, L"\\")) && SUCCEEDED(StringCchCatW(path, capacity, name));
}

bool BuildSystemPath(const wchar_t* name, wchar_t* path, size_t capacity)
{
    return JoinFolder(GetSystemDirectoryW(path, (UINT)capacity), name, path, capacity);
}

bool BuildWindowsPath(const wchar_t* name, wchar_t* path, size_t capacity)
{
    // The system's Windows folder, also under Terminal Services' per-user one.
    typedef UINT (WINAPI* GetSystemWindowsDirectoryProc)(LPWSTR, UINT);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    GetSystemWindowsDirectoryProc query =
        kernel ? (GetSystemWindowsDirectoryProc)(void*)GetProcAddress(kernel, "GetSystemWindowsDirectoryW") : NULL;
    UINT length = query ? query(path, (UINT)capacity) : GetWindowsDirectoryW(path, (UINT)capacity);
    return JoinFolder(length, name, path, capacity);
}

bool BuildNativeSystemPath(const wchar_t* name, wchar_t* path, size_t capacity)
{
    if (IsRunningUnderWow64()) {
        wchar_t native[MAX_PATH];
        // Sysnative exists from Vista on; 64-bit XP has none.
        if (SUCCEEDED(StringCchPrintfW(native, ARRAYSIZE(native), L"Sysnative\\%s", name)) &&
            BuildWindowsPath(native, path, capacity) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
            return true;
    }
    return BuildSystemPath(name, path, capacity);
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    if (!BuildSystemPath(name, path, ARRAYSIZE(path)))
        return NULL;
    return LoadLibraryW(path);
}

bool BuildReadablePath(const wchar_t* path, wchar_t* readable)
{
    wchar_t system[MAX_PATH];
    wchar_t native[MAX_PATH];
    size_t systemLength = 0;
    if (IsRunningUnderWow64() && BuildSystemPath(L"", system, ARRAYSIZE(system)) &&
        BuildWindowsPath(L"Sysnative\\", native, ARRAYSIZE(native)) &&
        SUCCEEDED(StringCchLengthW(system, ARRAYSIZE(system), &systemLength)) &&
        EqualFoldingAsciiLetters(path, system, systemLength) && GetFileAttributesW(native) != INVALID_FILE_ATTRIBUTES)
        return SUCCEEDED(StringCchCatW(native, ARRAYSIZE(native), path + systemLength)) &&
               SUCCEEDED(StringCchCopyW(readable, MAX_PATH, native));
    return SUCCEEDED(StringCchCopyW(readable, MAX_PATH, path));
}
