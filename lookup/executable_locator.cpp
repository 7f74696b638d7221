#include "lookup/executable_locator.h"
#include <strsafe.h>

// Length of a name held in a MAX_PATH field, never reading past the field.
static size_t NameLength(const wchar_t* name)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(name, MAX_PATH, &length)))
        return MAX_PATH;
    return length;
}

static bool NamesEqual(const wchar_t* a, const wchar_t* b)
{
    size_t length = NameLength(a);
    return length < MAX_PATH && length == NameLength(b) && EqualFoldingAsciiLetters(a, b, length);
}

// The module is the process's image when its name is the image name, or when
// its full path ends with the image name.
static bool IsImageModule(const MODULEENTRY32W* module, const wchar_t* imageName)
{
    if (NamesEqual(module->szModule, imageName))
        return true;
    size_t imageLength = NameLength(imageName);
    size_t pathLength = NameLength(module->szExePath);
    if (imageLength >= MAX_PATH || pathLength >= MAX_PATH || pathLength < imageLength)
        return false;
    return EqualFoldingAsciiLetters(module->szExePath + (pathLength - imageLength), imageName, imageLength);
}

bool FindModulePath(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process->th32ProcessID);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    MODULEENTRY32W module;
    ZeroMemory(&module, sizeof(module));
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
        // A path without its terminator would be cut: such a module is passed over.
        if (IsImageModule(&module, process->szExeFile) && NameLength(module.szExePath) < MAX_PATH) {
            found = SUCCEEDED(StringCchCopyW(exePath, MAX_PATH, module.szExePath));
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

bool LocateExecutable(const wchar_t* imageName, wchar_t* exePath)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    PROCESSENTRY32W process;
    ZeroMemory(&process, sizeof(process));
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot, &process); more && !found;
         more = Process32NextW(snapshot, &process)) {
        // A process whose modules cannot be read does not end the search.
        if (NamesEqual(process.szExeFile, imageName))
            found = FindModulePath(&process, exePath);
    }
    CloseHandle(snapshot);
    return found;
}

typedef BOOL (WINAPI* QueryFullProcessImageNameProc)(HANDLE, DWORD, LPWSTR, PDWORD);

// Looked up once: XP's kernel32 lacks the function, and the program must
// import nothing XP lacks.
static QueryFullProcessImageNameProc FindQueryFullProcessImageName()
{
    static bool looked = false;
    static QueryFullProcessImageNameProc query = NULL;
    if (!looked) {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        if (kernel)
            query = (QueryFullProcessImageNameProc)(void*)GetProcAddress(kernel, "QueryFullProcessImageNameW");
        looked = true;
    }
    return query;
}

bool QueryProcessImagePath(DWORD processId, wchar_t* exePath)
{
    QueryFullProcessImageNameProc query = FindQueryFullProcessImageName();
    if (!query)
        return false;
    const DWORD PROCESS_QUERY_LIMITED = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, Vista and later
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED, FALSE, processId);
    if (!process)
        return false;
    wchar_t path[MAX_PATH];
    DWORD length = ARRAYSIZE(path);
    bool found = query(process, 0, path, &length) && length > 0 && length < ARRAYSIZE(path);
    CloseHandle(process);
    if (found)
        found = SUCCEEDED(StringCchCopyW(exePath, MAX_PATH, path));
    return found;
}
