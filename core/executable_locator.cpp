#include "core/executable_locator.h"
#include <strsafe.h>
#include "core/seams.h"
#include "core/system_probes.h"

// A 64-bit build asks for a 32-bit process's modules too, as Windows allows;
// a 32-bit build cannot read a 64-bit process's modules at all.
#ifdef _WIN64
static const DWORD MODULE_SNAPSHOT_FLAGS = TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32;
#else
static const DWORD MODULE_SNAPSHOT_FLAGS = TH32CS_SNAPMODULE;
#endif

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

// A plain suffix test: no backslash is needed before the name.
static bool PathEndsWithName(const wchar_t* path, const wchar_t* imageName)
{
    size_t imageLength = NameLength(imageName);
    size_t pathLength = NameLength(path);
    if (imageLength >= MAX_PATH || pathLength >= MAX_PATH || pathLength < imageLength)
        return false;
    return EqualFoldingAsciiLetters(path + (pathLength - imageLength), imageName, imageLength);
}

// The module is the process's image when its name is the image name, or when
// its full path ends with the image name.
static bool IsImageModule(const MODULEENTRY32W* module, const wchar_t* imageName)
{
    return NamesEqual(module->szModule, imageName) || PathEndsWithName(module->szExePath, imageName);
}

bool FindModulePath(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(MODULE_SNAPSHOT_FLAGS, process->th32ProcessID);
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

// The path the system keeps for the process, taken only when it ends with the
// process's image name.
static bool FindImagePath(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    wchar_t path[MAX_PATH];
    if (!seams.imagePathQuery(process->th32ProcessID, path) || !PathEndsWithName(path, process->szExeFile))
        return false;
    return SUCCEEDED(StringCchCopyW(exePath, MAX_PATH, path));
}

typedef bool (*ProcessPathFinder)(const PROCESSENTRY32W* process, wchar_t* exePath);

// Walks the snapshot from its first entry; a process of that name for which
// `find` gives no path does not end the search.
static bool FindInProcesses(HANDLE snapshot, const wchar_t* imageName, ProcessPathFinder find, wchar_t* exePath)
{
    PROCESSENTRY32W process;
    ZeroMemory(&process, sizeof(process));
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot, &process); more; more = Process32NextW(snapshot, &process)) {
        if (NamesEqual(process.szExeFile, imageName) && find(&process, exePath))
            return true;
    }
    return false;
}

bool LocateExecutable(const wchar_t* imageName, wchar_t* exePath)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    // Modules first, as on every system; only when no process of that name
    // gives its modules (a process of the other bitness), its image path.
    bool found = FindInProcesses(snapshot, imageName, FindModulePath, exePath) ||
                 FindInProcesses(snapshot, imageName, FindImagePath, exePath);
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
    // Asked by version too: a system that says it is XP keeps XP's behaviour
    // even where kernel32 has the function.
    if (!IsVistaOrLater())
        return false;
    QueryFullProcessImageNameProc query = FindQueryFullProcessImageName();
    if (!query)
        return false;
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

bool FindProcessExecutable(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    // A module snapshot of PID 0 would be one of this process.
    if (process->th32ProcessID == 0)
        return false;
    return QueryProcessImagePath(process->th32ProcessID, exePath) || FindModulePath(process, exePath);
}
