#include "core/handed_path.h"
#include <strsafe.h>
#include "core/ascii_folding.h"

static bool StartsWith(const wchar_t* text, const wchar_t* prefix)
{
    return EqualFoldingAsciiLetters(text, prefix, wcslen(prefix));
}

bool IsDevicePath(const wchar_t* path)
{
    return StartsWith(path, L"\\\\.\\") || StartsWith(path, L"\\\\?\\GLOBALROOT") || StartsWith(path, L"\\??\\") ||
           StartsWith(path, L"\\\\?\\Volume{");
}

static bool IsDriveAbsolute(const wchar_t* path)
{
    wchar_t letter = FoldAsciiLetter(path[0]);
    return letter >= L'a' && letter <= L'z' && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool MakeHandedPathCanonical(const wchar_t* given, bool mustBeFull, wchar_t* path, DWORD* error)
{
    *error = ERROR_INVALID_NAME;
    path[0] = L'\0';
    if (!given || IsDevicePath(given))
        return false;
    // The long forms name the same files as the short ones; read them as those.
    wchar_t* plain = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, HANDED_PATH_CAPACITY * sizeof(wchar_t));
    if (!plain)
        return false;
    HRESULT copied = E_FAIL;
    if (StartsWith(given, L"\\\\?\\UNC\\"))
        copied = StringCchPrintfW(plain, HANDED_PATH_CAPACITY, L"\\\\%s", given + 8);
    else if (StartsWith(given, L"\\\\?\\"))
        copied = IsDriveAbsolute(given + 4) ? StringCchCopyW(plain, HANDED_PATH_CAPACITY, given + 4) : E_FAIL;
    else
        copied = StringCchCopyW(plain, HANDED_PATH_CAPACITY, given);
    bool full = IsDriveAbsolute(plain) || (plain[0] == L'\\' && plain[1] == L'\\');
    DWORD length = 0;
    if (SUCCEEDED(copied) && (full || !mustBeFull))
        length = GetFullPathNameW(plain, (DWORD)HANDED_PATH_CAPACITY, path, NULL);
    HeapFree(GetProcessHeap(), 0, plain);
    if (length == 0 || length >= HANDED_PATH_CAPACITY) {
        *error = length >= HANDED_PATH_CAPACITY ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME;
        path[0] = L'\0';
        return false;
    }
    // "CON", "NUL" or "COM1" become "\\.\" names here.
    if (IsDevicePath(path)) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

HANDLE OpenDiskFileForReading(const wchar_t* path, DWORD* error)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        *error = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

bool IsProbeableName(const wchar_t* path)
{
    if (!path || !IsDriveAbsolute(path) || IsDevicePath(path))
        return false;
    // "C:\x\NUL" or "C:\COM1.txt" still name devices: GetFullPathNameW tells.
    wchar_t* full = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, HANDED_PATH_CAPACITY * sizeof(wchar_t));
    if (!full)
        return false;
    DWORD length = GetFullPathNameW(path, (DWORD)HANDED_PATH_CAPACITY, full, NULL);
    bool probeable = length > 0 && length < HANDED_PATH_CAPACITY && IsDriveAbsolute(full) && !IsDevicePath(full);
    HeapFree(GetProcessHeap(), 0, full);
    return probeable;
}

typedef BOOL(WINAPI* FileInformationExProc)(HANDLE, int, LPVOID, DWORD);

// Vista and later; looked up once, by any thread.
static FileInformationExProc FindFileInformationEx()
{
    static FileInformationExProc query;
    static volatile LONG looked;
    if (!looked) {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        query = kernel ? (FileInformationExProc)(void*)GetProcAddress(kernel, "GetFileInformationByHandleEx") : NULL;
        InterlockedExchange(&looked, 1);
    }
    return query;
}

static unsigned long long FromFileTime(const FILETIME& time)
{
    return ((unsigned long long)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

bool ReadFileBasics(HANDLE file, FileBasics* basics)
{
    ZeroMemory(basics, sizeof(*basics));
    struct BasicInformation {  // FILE_BASIC_INFO
        LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
        DWORD fileAttributes;
    };
    struct StandardInformation {  // FILE_STANDARD_INFO
        LARGE_INTEGER allocationSize, endOfFile;
        DWORD numberOfLinks;
        BOOLEAN deletePending, directory;
    };
    static const int FILE_BASIC_INFORMATION_CLASS = 0, FILE_STANDARD_INFORMATION_CLASS = 1;
    FileInformationExProc query = FindFileInformationEx();
    BasicInformation basic;
    StandardInformation standard;
    if (query && query(file, FILE_BASIC_INFORMATION_CLASS, &basic, sizeof(basic)) &&
        query(file, FILE_STANDARD_INFORMATION_CLASS, &standard, sizeof(standard))) {
        basics->attributes = basic.fileAttributes;
        basics->size = (unsigned long long)standard.endOfFile.QuadPart;
        basics->creationTime = (unsigned long long)basic.creationTime.QuadPart;
        basics->lastWriteTime = (unsigned long long)basic.lastWriteTime.QuadPart;
        basics->changeTime = (unsigned long long)basic.changeTime.QuadPart;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
        return false;
    basics->attributes = information.dwFileAttributes;
    basics->size = ((unsigned long long)information.nFileSizeHigh << 32) | information.nFileSizeLow;
    basics->creationTime = FromFileTime(information.ftCreationTime);
    basics->lastWriteTime = FromFileTime(information.ftLastWriteTime);
    return true;
}

bool IsDiskFileAt(const wchar_t* path, DWORD* attributes)
{
    // Attributes only: a file another program holds open for writing is still found.
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FileBasics basics;
    bool isFile = GetFileType(file) == FILE_TYPE_DISK && ReadFileBasics(file, &basics) &&
                  !(basics.attributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(file);
    if (isFile && attributes)
        *attributes = basics.attributes;
    return isFile;
}

bool IsExistingDiskFile(const wchar_t* path, DWORD* attributes)
{
    return IsProbeableName(path) && IsDiskFileAt(path, attributes);
}
