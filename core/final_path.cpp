#include "core/final_path.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/handed_path.h"
#include "core/system_folders.h"

typedef DWORD(WINAPI* GetFinalPathNameByHandleProc)(HANDLE, LPWSTR, DWORD, DWORD);

static const DWORD FINAL_NAME_NORMALIZED = 0x0;
static const DWORD FINAL_VOLUME_NAME_DOS = 0x0;

// The last part's first colon: where a stream's name starts.
static const wchar_t* FindStreamColon(const wchar_t* path)
{
    const wchar_t* last = path;
    for (const wchar_t* c = path; *c; ++c) {
        if (*c == L'\\' || *c == L'/')
            last = c + 1;
    }
    // "C:name" has a drive, not a stream.
    if (last == path && path[0] && path[1] == L':')
        last = path + 2;
    return wcschr(last, L':');
}

const wchar_t* FindStreamName(const wchar_t* path, size_t* length)
{
    const wchar_t* colon = FindStreamColon(path);
    if (!colon)
        return NULL;
    const wchar_t* name = colon + 1;
    const wchar_t* type = wcschr(name, L':');
    size_t nameLength = type ? (size_t)(type - name) : wcslen(name);
    if (nameLength == 0)
        return NULL;  // "a.exe::$DATA" is the file's own data
    *length = nameLength;
    return name;
}

// "\\?\C:\..." as "C:\...", "\\?\UNC\server\..." as "\\server\...".
static bool TakeFinalName(const wchar_t* named, wchar_t* canonical)
{
    if (EqualFoldingAsciiLetters(named, L"\\\\?\\UNC\\", 8))
        return SUCCEEDED(StringCchPrintfW(canonical, MAX_PATH, L"\\\\%s", named + 8));
    if (wcsncmp(named, L"\\\\?\\", 4) == 0)
        return SUCCEEDED(StringCchCopyW(canonical, MAX_PATH, named + 4));
    return SUCCEEDED(StringCchCopyW(canonical, MAX_PATH, named));
}

// The name of the file `path` opens as, on a system that can tell.
static bool ReadFinalName(const wchar_t* path, wchar_t* canonical)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    GetFinalPathNameByHandleProc finalName =
        kernel ? (GetFinalPathNameByHandleProc)(void*)GetProcAddress(kernel, "GetFinalPathNameByHandleW") : NULL;
    wchar_t readable[MAX_PATH];
    if (!finalName || !BuildReadablePath(path, readable))
        return false;
    HANDLE file = CreateFileW(readable, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    wchar_t named[MAX_PATH + 8];
    DWORD length = 0;
    if (GetFileType(file) == FILE_TYPE_DISK)
        length = finalName(file, named, ARRAYSIZE(named), FINAL_NAME_NORMALIZED | FINAL_VOLUME_NAME_DOS);
    CloseHandle(file);
    return length > 0 && length < ARRAYSIZE(named) && TakeFinalName(named, canonical);
}

bool MakeFinalPath(const wchar_t* path, wchar_t* canonical)
{
    canonical[0] = L'\0';
    wchar_t file[MAX_PATH];
    const wchar_t* colon = FindStreamColon(path);
    size_t fileLength = colon ? (size_t)(colon - path) : wcslen(path);
    if (FAILED(StringCchCopyNW(file, ARRAYSIZE(file), path, fileLength)))
        return false;
    bool found = false;
    if (IsProbeableName(file)) {
        found = ReadFinalName(file, canonical);
        if (!found) {
            DWORD length = GetLongPathNameW(file, canonical, MAX_PATH);
            found = length > 0 && length < MAX_PATH;
        }
    }
    if (!found && FAILED(StringCchCopyW(canonical, MAX_PATH, file)))
        return false;
    return !colon || SUCCEEDED(StringCchCatW(canonical, MAX_PATH, colon));
}
