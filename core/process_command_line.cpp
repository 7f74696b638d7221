#include "core/process_command_line.h"
#include <strsafe.h>
#include "core/system_probes.h"
#include "core/seams.h"

// Our own definitions of what ntdll keeps undocumented, with the offsets each
// bitness uses, so that a 64-bit build can read a 32-bit process's block and a
// 32-bit build a 64-bit one's.
//   PEB.ProcessParameters                          0x10 (32-bit)  0x20 (64-bit)
//   RTL_USER_PROCESS_PARAMETERS.CurrentDirectory   0x24           0x38  (its DosPath UNICODE_STRING)
//   RTL_USER_PROCESS_PARAMETERS.CommandLine        0x40           0x70
//   UNICODE_STRING: Length, MaximumLength (bytes), Buffer at 4 (32-bit) or 8 (64-bit)
static const ULONGLONG PEB_PARAMETERS[2] = {0x10, 0x20};
static const ULONGLONG PARAMETERS_CURRENT_FOLDER[2] = {0x24, 0x38};
static const ULONGLONG PARAMETERS_COMMAND_LINE[2] = {0x40, 0x70};

struct RemoteString32 {
    USHORT length;
    USHORT maximumLength;
    DWORD buffer;
};
struct RemoteString64 {
    USHORT length;
    USHORT maximumLength;
    DWORD padding;
    ULONGLONG buffer;
};
// PROCESS_BASIC_INFORMATION of a 64-bit process: the PEB's address at 8.
struct BasicInformation64 {
    LONG exitStatus;
    DWORD padding;
    ULONGLONG pebBaseAddress;
    ULONGLONG affinityMask;
    LONG basePriority;
    DWORD padding2;
    ULONGLONG uniqueProcessId;
    ULONGLONG parentProcessId;
};
// The same at this build's bitness: the PEB's address after the exit status.
struct BasicInformation {
    LONG exitStatus;
    PVOID pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR parentProcessId;
};
// What NtQueryInformationProcess writes for the command-line class: this
// build's UNICODE_STRING, its buffer in the same block.
struct LocalString {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
};

static const ULONG PROCESS_BASIC_INFORMATION_CLASS = 0;
static const ULONG PROCESS_WOW64_INFORMATION_CLASS = 26;
static const ULONG PROCESS_COMMAND_LINE_CLASS = 60;  // Windows 8.1 and later
static const DWORD PROCESS_VM_READ_ACCESS = 0x0010;

typedef LONG (NTAPI* QueryInformationProcessProc)(HANDLE, ULONG, PVOID, ULONG, PULONG);
typedef LONG (NTAPI* ReadVirtualMemory64Proc)(HANDLE, ULONGLONG, PVOID, ULONGLONG, PULONGLONG);

static FARPROC FindNtdllFunction(const char* name)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? GetProcAddress(ntdll, name) : NULL;
}

// Where the other process keeps its parameters, and how to read it.
struct RemoteProcess {
    HANDLE handle;
    int wide;             // 1: 64-bit structures, 0: 32-bit ones
    bool through64Calls;  // a 32-bit build reading a 64-bit process
    ReadVirtualMemory64Proc read64;
    ULONGLONG peb;
};

static bool ReadRemote(const RemoteProcess* remote, ULONGLONG address, void* buffer, DWORD bytes)
{
    if (remote->through64Calls) {
        ULONGLONG read = 0;
        return remote->read64(remote->handle, address, buffer, bytes, &read) >= 0 && read == bytes;
    }
    if (address > (ULONGLONG)(ULONG_PTR)-1 || address == 0)
        return false;
    SIZE_T read = 0;
    return ReadProcessMemory(remote->handle, (LPCVOID)(ULONG_PTR)address, buffer, bytes, &read) && read == bytes;
}

// `ownBlock`: a 64-bit build asks for a 32-bit process's own 32-bit PEB,
// whose folder follows the process's SetCurrentDirectory. Without it, a
// 64-bit build reads the native PEB, whose block a 32-bit process has too
// with the same command line.
static bool LocatePeb(HANDLE process, bool ownBlock, RemoteProcess* remote)
{
    ZeroMemory(remote, sizeof(*remote));
    remote->handle = process;
    QueryInformationProcessProc query =
        (QueryInformationProcessProc)(void*)FindNtdllFunction("NtQueryInformationProcess");
    if (!query)
        return false;
#ifdef _WIN64
    if (ownBlock) {
        // Windows gives the 32-bit PEB's address; Wine 8 gives only TRUE, so 1 is no address.
        ULONG_PTR wow64Peb = 0;
        if (query(process, PROCESS_WOW64_INFORMATION_CLASS, &wow64Peb, sizeof(wow64Peb), NULL) < 0 || wow64Peb <= 1)
            return false;
        remote->peb = wow64Peb;
        return true;
    }
#else
    bool targetWow64 = true;
    if (IsRunningUnderWow64() && ReadProcessWow64(process, &targetWow64) && !targetWow64) {
        QueryInformationProcessProc query64 =
            (QueryInformationProcessProc)(void*)FindNtdllFunction("NtWow64QueryInformationProcess64");
        remote->read64 = (ReadVirtualMemory64Proc)(void*)FindNtdllFunction("NtWow64ReadVirtualMemory64");
        BasicInformation64 basic;
        ZeroMemory(&basic, sizeof(basic));
        if (!query64 || !remote->read64 ||
            query64(process, PROCESS_BASIC_INFORMATION_CLASS, &basic, sizeof(basic), NULL) < 0)
            return false;
        remote->wide = 1;
        remote->through64Calls = true;
        remote->peb = basic.pebBaseAddress;
        return remote->peb != 0;
    }
#endif
    BasicInformation basic;
    ZeroMemory(&basic, sizeof(basic));
    if (query(process, PROCESS_BASIC_INFORMATION_CLASS, &basic, sizeof(basic), NULL) < 0)
        return false;
    remote->wide = sizeof(void*) == 8 ? 1 : 0;
    remote->peb = (ULONG_PTR)basic.pebBaseAddress;
    return remote->peb != 0;
}

// Reads one UNICODE_STRING of the parameters block into `text` (`capacity`
// characters with the terminator): its length must be even, within its
// maximum and within `text`, and its buffer set unless it is empty.
static bool ReadParameterString(const RemoteProcess* remote, const ULONGLONG* offsets, wchar_t* text,
                                size_t capacity)
{
    ULONGLONG parameters = 0;
    if (!ReadRemote(remote, remote->peb + PEB_PARAMETERS[remote->wide], &parameters, remote->wide ? 8 : 4))
        return false;
    USHORT length = 0, maximumLength = 0;
    ULONGLONG buffer = 0;
    if (remote->wide) {
        RemoteString64 string;
        if (!parameters || !ReadRemote(remote, parameters + offsets[1], &string, sizeof(string)))
            return false;
        length = string.length, maximumLength = string.maximumLength, buffer = string.buffer;
    } else {
        RemoteString32 string;
        if (!parameters || !ReadRemote(remote, parameters + offsets[0], &string, sizeof(string)))
            return false;
        length = string.length, maximumLength = string.maximumLength, buffer = string.buffer;
    }
    if (length % 2 != 0 || length > maximumLength || length / 2 >= capacity || (length && !buffer))
        return false;
    if (length && !ReadRemote(remote, buffer, text, length))
        return false;
    text[length / 2] = L'\0';
    return true;
}

static HANDLE OpenForReading(DWORD processId, bool memory)
{
    // The limited right is enough for both queries from Vista on, and reaches more processes.
    DWORD access = IsVistaOrLater() ? PROCESS_QUERY_LIMITED : PROCESS_QUERY_INFORMATION;
    if (memory)
        access |= PROCESS_VM_READ_ACCESS;
    return processId ? seams.openProcess(access, FALSE, processId) : NULL;
}

static bool ReadFromParameters(HANDLE process, const ULONGLONG* offsets, wchar_t* text, size_t capacity)
{
    RemoteProcess remote;
    return (sizeof(void*) == 8 && LocatePeb(process, true, &remote) &&
            ReadParameterString(&remote, offsets, text, capacity)) ||
           (LocatePeb(process, false, &remote) && ReadParameterString(&remote, offsets, text, capacity));
}

static bool ReadFromParametersOfId(DWORD processId, const ULONGLONG* offsets, wchar_t* text, size_t capacity)
{
    HANDLE process = OpenForReading(processId, true);
    if (!process)
        return false;
    bool read = ReadFromParameters(process, offsets, text, capacity);
    CloseHandle(process);
    return read;
}

// The kernel's own query, which needs only the limited query right.
static bool QueryCommandLine(HANDLE process, wchar_t* commandLine)
{
    QueryInformationProcessProc query =
        (QueryInformationProcessProc)(void*)FindNtdllFunction("NtQueryInformationProcess");
    if (!query || !process)
        return false;
    const ULONG blockBytes = (ULONG)(sizeof(LocalString) + COMMAND_LINE_CAPACITY * sizeof(wchar_t));
    BYTE* block = (BYTE*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, blockBytes);
    bool read = false;
    if (block && query(process, PROCESS_COMMAND_LINE_CLASS, block, blockBytes, NULL) >= 0) {
        const LocalString* string = (const LocalString*)block;
        const BYTE* start = (const BYTE*)string->buffer;
        // The text must lie in our block after its header.
        read = string->length % 2 == 0 && string->length / 2 < COMMAND_LINE_CAPACITY &&
               (string->length == 0 ||
                (start >= block + sizeof(LocalString) && start + string->length <= block + blockBytes));
        if (read) {
            if (string->length)
                CopyMemory(commandLine, start, string->length);
            commandLine[string->length / 2] = L'\0';
        }
    }
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
    return read;
}

static bool QueryCommandLineOfId(DWORD processId, wchar_t* commandLine)
{
    HANDLE process = OpenForReading(processId, false);
    bool read = process && QueryCommandLine(process, commandLine);
    if (process)
        CloseHandle(process);
    return read;
}

bool ReadCommandLineFromParameters(DWORD processId, wchar_t* commandLine)
{
    if (ReadFromParametersOfId(processId, PARAMETERS_COMMAND_LINE, commandLine, COMMAND_LINE_CAPACITY))
        return true;
    commandLine[0] = L'\0';
    return false;
}

bool ReadProcessCommandLine(DWORD processId, wchar_t* commandLine)
{
    return QueryCommandLineOfId(processId, commandLine) || ReadCommandLineFromParameters(processId, commandLine);
}

bool ReadProcessCommandLineOf(HANDLE process, wchar_t* commandLine)
{
    if (QueryCommandLine(process, commandLine) ||
        (process && ReadFromParameters(process, PARAMETERS_COMMAND_LINE, commandLine, COMMAND_LINE_CAPACITY)))
        return true;
    commandLine[0] = L'\0';
    return false;
}

// Without the trailing backslash unless it is a drive's root.
static bool EndCurrentFolder(bool read, wchar_t* folder)
{
    if (!read) {
        folder[0] = L'\0';
        return false;
    }
    size_t length = 0;
    StringCchLengthW(folder, MAX_PATH, &length);
    if (length > 3 && folder[length - 1] == L'\\')
        folder[length - 1] = L'\0';
    return folder[0] != L'\0';
}

bool ReadProcessCurrentFolder(DWORD processId, wchar_t* folder)
{
    return EndCurrentFolder(ReadFromParametersOfId(processId, PARAMETERS_CURRENT_FOLDER, folder, MAX_PATH), folder);
}

bool ReadProcessCurrentFolderOf(HANDLE process, wchar_t* folder)
{
    return EndCurrentFolder(process && ReadFromParameters(process, PARAMETERS_CURRENT_FOLDER, folder, MAX_PATH),
                            folder);
}

static unsigned long long ReadCreationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return ((unsigned long long)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

HANDLE OpenListedProcess(DWORD processId, unsigned long long listedStart, unsigned long long* startTime)
{
    *startTime = 0;
    // The full query right first: the images mapped in the process need it.
    HANDLE process = processId ? seams.openProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ_ACCESS, FALSE, processId) : NULL;
    if (!process)
        process = OpenForReading(processId, true);
    if (!process)
        process = OpenForReading(processId, false);
    if (!process)
        return NULL;
    *startTime = ReadCreationTime(process);
    // A start time that cannot be read is no sign of a newer process.
    if (listedStart && *startTime && *startTime != listedStart) {
        CloseHandle(process);
        return NULL;
    }
    return process;
}
