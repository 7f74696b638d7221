#include "core/system_folders.h"
#include <shlobj.h>
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/system_probes.h"
#include "core/scoped_handles.h"

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

// `path` lies inside `folder` (no trailing backslash), past a separator.
static bool IsInFolder(const wchar_t* path, const wchar_t* folder)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(folder, MAX_PATH, &length)) || length < 3)
        return false;
    if (folder[length - 1] == L'\\')
        --length;
    return EqualFoldingAsciiLetters(path, folder, length) && path[length] == L'\\';
}

bool IsInAdministratorsFolder(const wchar_t* path)
{
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(path, ARRAYSIZE(full), full, NULL);
    if (length == 0 || length >= ARRAYSIZE(full))
        return false;
    wchar_t folder[MAX_PATH + 1];
    if (BuildWindowsPath(L"", folder, MAX_PATH) && IsInFolder(full, folder))
        return true;
    static const int shellFolders[] = {0x26, 0x2A};  // CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86
    for (size_t i = 0; i < ARRAYSIZE(shellFolders); ++i) {
        ZeroMemory(folder, sizeof(folder));
        if (SUCCEEDED(SHGetFolderPathW(NULL, shellFolders[i], NULL, 0, folder)) && IsInFolder(full, folder))
            return true;
    }
    // Under WOW64 the shell names the x86 folder only; the native one is in
    // the registry's 64-bit view.
    ScopedKey key;
    if (!IsRunningUnderWow64() ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS)
        return false;
    ZeroMemory(folder, sizeof(folder));
    DWORD type = 0;
    DWORD bytes = MAX_PATH * sizeof(wchar_t);
    LONG read = RegQueryValueExW(key.Get(), L"ProgramFilesDir", NULL, &type, (BYTE*)folder, &bytes);
    return read == ERROR_SUCCESS && type == REG_SZ && IsInFolder(full, folder);
}
