#include "core/executable_locator.h"
#include <strsafe.h>
#include "core/handed_path.h"
#include "core/seams.h"
#include "core/system_folders.h"
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
    // From Vista on the kernel's path only: a process can rewrite its own
    // module list. XP has no such path and only the module list.
    bool found = IsImagePathReportedByProcess() ? FindInProcesses(snapshot, imageName, FindModulePath, exePath)
                                                : FindInProcesses(snapshot, imageName, FindImagePath, exePath);
    CloseHandle(snapshot);
    return found;
}

typedef BOOL (WINAPI* QueryFullProcessImageNameProc)(HANDLE, DWORD, LPWSTR, PDWORD);
typedef LONG (NTAPI* QueryInformationProcessProc)(HANDLE, ULONG, PVOID, ULONG, PULONG);

// The longest path the kernel keeps, with its terminator.
static const DWORD KERNEL_PATH_CAPACITY = 32768;
static const DWORD PROCESS_NAME_NATIVE_FLAG = 1;
static const ULONG PROCESS_IMAGE_FILE_NAME_CLASS = 27;

// Looked up once: XP's kernel32 lacks the function, and the program must
// import nothing XP lacks.
static QueryFullProcessImageNameProc FindQueryFullProcessImageName()
{
    // Any thread: each finds the same function, and `looked` is set after it.
    static QueryFullProcessImageNameProc query;
    static volatile LONG looked;
    if (!looked) {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        query = kernel ? (QueryFullProcessImageNameProc)(void*)GetProcAddress(kernel, "QueryFullProcessImageNameW")
                       : NULL;
        InterlockedExchange(&looked, 1);
    }
    return query;
}

bool IsImagePathReportedByProcess()
{
    // Asked by version too: a system that says it is XP keeps XP's behaviour
    // even where kernel32 has the function.
    return !IsVistaOrLater() || !FindQueryFullProcessImageName();
}

static bool StartsWithFolded(const wchar_t* text, const wchar_t* prefix, size_t length)
{
    return EqualFoldingAsciiLetters(text, prefix, length);
}

// "\Device\HarddiskVolume2\x.exe" as "C:\x.exe", through the device name
// each drive letter stands for; "\Device\Mup\server\share\x" as a UNC path.
static bool MapNativePath(const wchar_t* native, wchar_t* path, size_t capacity)
{
    static const wchar_t mup[] = L"\\Device\\Mup\\";
    if (StartsWithFolded(native, mup, ARRAYSIZE(mup) - 1))
        return SUCCEEDED(StringCchPrintfW(path, capacity, L"\\\\%s", native + ARRAYSIZE(mup) - 1));
    wchar_t drive[3] = L"A:";
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        drive[0] = letter;
        wchar_t device[MAX_PATH];
        if (!QueryDosDeviceW(drive, device, ARRAYSIZE(device)))
            continue;
        device[MAX_PATH - 1] = L'\0';
        size_t length = wcslen(device);
        if (length > 0 && StartsWithFolded(native, device, length) && native[length] == L'\\')
            return SUCCEEDED(StringCchPrintfW(path, capacity, L"%s%s", drive, native + length));
    }
    return false;
}

// NtQueryInformationProcess(ProcessImageFileName): a UNICODE_STRING and its
// text in one block, the text's native form.
static bool QueryNativeImageFileName(HANDLE process, wchar_t* native, size_t capacity)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    QueryInformationProcessProc query =
        ntdll ? (QueryInformationProcessProc)(void*)GetProcAddress(ntdll, "NtQueryInformationProcess") : NULL;
    struct NativeString {
        USHORT length;
        USHORT maximumLength;
        PWSTR buffer;
    };
    const ULONG blockBytes = (ULONG)(sizeof(NativeString) + KERNEL_PATH_CAPACITY * sizeof(wchar_t));
    BYTE* block = query ? (BYTE*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, blockBytes) : NULL;
    if (!block)
        return false;
    bool read = false;
    if (query(process, PROCESS_IMAGE_FILE_NAME_CLASS, block, blockBytes, NULL) >= 0) {
        const NativeString* string = (const NativeString*)block;
        const BYTE* start = (const BYTE*)string->buffer;
        size_t characters = string->length / 2;
        // The text must lie in our block after its header, and fit.
        read = string->length % 2 == 0 && characters > 0 && characters < capacity &&
               start >= block + sizeof(NativeString) && start + string->length <= block + blockBytes;
        if (read) {
            CopyMemory(native, start, string->length);
            native[characters] = L'\0';
        }
    }
    HeapFree(GetProcessHeap(), 0, block);
    return read;
}

// The kernel's path in one of its forms into `path` (KERNEL_PATH_CAPACITY).
static bool AskKernelForImagePath(HANDLE process, wchar_t* path, wchar_t* native)
{
    QueryFullProcessImageNameProc query = FindQueryFullProcessImageName();
    DWORD length = KERNEL_PATH_CAPACITY;
    if (query(process, 0, path, &length) && length > 0 && length < KERNEL_PATH_CAPACITY)
        return true;
    length = KERNEL_PATH_CAPACITY;
    bool nativeRead = (query(process, PROCESS_NAME_NATIVE_FLAG, native, &length) && length > 0 &&
                       length < KERNEL_PATH_CAPACITY) ||
                      QueryNativeImageFileName(process, native, KERNEL_PATH_CAPACITY);
    return nativeRead && MapNativePath(native, path, KERNEL_PATH_CAPACITY);
}

bool QueryImagePathOf(HANDLE process, wchar_t* exePath, size_t capacity)
{
    if (!process || IsImagePathReportedByProcess())
        return false;
    wchar_t* path = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, 2 * KERNEL_PATH_CAPACITY * sizeof(wchar_t));
    if (!path)
        return false;
    bool found = AskKernelForImagePath(process, path, path + KERNEL_PATH_CAPACITY) && !IsDevicePath(path) &&
                 SUCCEEDED(StringCchCopyW(exePath, capacity, path));
    HeapFree(GetProcessHeap(), 0, path);
    return found;
}

bool QueryProcessImagePathWithin(DWORD processId, wchar_t* exePath, size_t capacity)
{
    if (IsImagePathReportedByProcess())
        return false;
    HANDLE process = seams.openProcess(PROCESS_QUERY_LIMITED, FALSE, processId);
    if (!process)
        return false;
    // Written only when whole: a path that does not fit leaves the buffer as it was.
    wchar_t* path = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(wchar_t));
    bool found = path && QueryImagePathOf(process, path, capacity);
    CloseHandle(process);
    if (found)
        found = SUCCEEDED(StringCchCopyW(exePath, capacity, path));
    if (path)
        HeapFree(GetProcessHeap(), 0, path);
    return found;
}

bool QueryProcessImagePath(DWORD processId, wchar_t* exePath)
{
    return QueryProcessImagePathWithin(processId, exePath, MAX_PATH);
}

bool FindProcessExecutable(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    // A module snapshot of PID 0 would be one of this process.
    if (process->th32ProcessID == 0)
        return false;
    if (!IsImagePathReportedByProcess())
        return QueryProcessImagePathWithin(process->th32ProcessID, exePath, PROCESS_PATH_CAPACITY);
    return FindModulePath(process, exePath);
}

bool BuildImageReadPath(const wchar_t* path, wchar_t* readable, size_t capacity)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(path, KERNEL_PATH_CAPACITY, &length)))
        return false;
    if (length < MAX_PATH) {
        wchar_t shortPath[MAX_PATH];
        return BuildReadablePath(path, shortPath) && SUCCEEDED(StringCchCopyW(readable, capacity, shortPath));
    }
    // The long form reads the name exactly as written: only a full drive path takes it.
    bool drive = ((path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z') && path[1] == L':' && path[2] == L'\\';
    return drive && !wcsstr(path, L"\\.") && SUCCEEDED(StringCchPrintfW(readable, capacity, L"\\\\?\\%s", path));
}

bool PrepareImageRead(const wchar_t* path, bool reported, wchar_t* readable, size_t capacity)
{
    if (!path || !path[0] || IsDevicePath(path) || (reported && !IsProbeableName(path)) ||
        !BuildImageReadPath(path, readable, capacity))
        return false;
    return IsDiskFileAt(readable, NULL);
}
