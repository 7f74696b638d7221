// The story of the Properties notes: a copy of the idle test program named
// svch0st.exe in the temp folder, claiming to be Microsoft's, unsigned,
// started, then touched. Needs idle_process.exe beside the test.
#pragma once
#include <windows.h>
#include <string>
#include "version_resource.h"
#include "test_support.h"

// Its full (long) path and its process; the caller ends it.
// Sets the file's creation and last write back two days: installed long ago.
inline bool BackdateTwoDays(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME old;
    GetSystemTimeAsFileTime(&old);
    ULARGE_INTEGER value = {{old.dwLowDateTime, old.dwHighDateTime}};
    value.QuadPart -= 48 * 36000000000ull;
    old = {value.LowPart, value.HighPart};
    bool set = SetFileTime(file, &old, NULL, &old) != FALSE;
    CloseHandle(file);
    return set;
}

inline bool StartTouchedSvch0st(std::wstring* path, PROCESS_INFORMATION* child)
{
    wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp) || !GetLongPathNameW(temp, longTemp, MAX_PATH))
        return false;
    *path = std::wstring(longTemp) + L"svch0st.exe";
    VersionResource claim;
    claim.tables = {{L"040904b0", {{L"CompanyName", L"Microsoft Corporation"}}}};
    if (!WriteVersionedCopy(BinPath(L"idle_process.exe"), *path, claim) || !StartProgram(*path, L"", child))
        return false;
    Sleep(100);
    HANDLE touch = CreateFileW(path->c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    bool touched = SetFileTime(touch, NULL, NULL, &now) != FALSE;
    CloseHandle(touch);
    return touched;
}
