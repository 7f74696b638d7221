#include "lookup/process_facts.h"
#include <tlhelp32.h>
#include <strsafe.h>
#include "core/executable_locator.h"
#include "core/file_fingerprint.h"
#include "core/handed_path.h"
#include "core/kept_table.h"
#include "core/scoped_handles.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "core/seams.h"

static unsigned long long FromFileTime(const FILETIME& time)
{
    return ((unsigned long long)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

// The creation time of a process; 0 when it cannot be opened or asked.
static unsigned long long ReadStartTime(DWORD processId)
{
    ScopedHandle process(seams.openProcess(ProcessQueryAccess(), FALSE, processId));
    FILETIME creation, exit, kernel, user;
    if (!process.Valid() || !GetProcessTimes(process.Get(), &creation, &exit, &kernel, &user))
        return 0;
    return FromFileTime(creation);
}

bool ReadProcessUser(HANDLE process, wchar_t* user)
{
    user[0] = L'\0';
    HANDLE tokenHandle = NULL;
    if (!OpenProcessToken(process, TOKEN_QUERY, &tokenHandle))
        return false;
    ScopedHandle token(tokenHandle);
    // A TOKEN_USER is a SID and its header; a SID is at most 68 bytes.
    union {
        TOKEN_USER tokenUser;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, &buffer, sizeof(buffer), &size) || size > sizeof(buffer) ||
        !IsValidSid(buffer.tokenUser.User.Sid))
        return false;
    wchar_t name[257], domain[257];
    DWORD nameLength = ARRAYSIZE(name), domainLength = ARRAYSIZE(domain);
    SID_NAME_USE use;
    if (!LookupAccountSidW(NULL, buffer.tokenUser.User.Sid, name, &nameLength, domain, &domainLength, &use))
        return false;
    name[ARRAYSIZE(name) - 1] = L'\0';
    domain[ARRAYSIZE(domain) - 1] = L'\0';
    HRESULT written = domain[0] ? StringCchPrintfW(user, USER_NAME_CAPACITY, L"%s\\%s", domain, name)
                                : StringCchCopyW(user, USER_NAME_CAPACITY, name);
    if (FAILED(written))
        user[0] = L'\0';
    return SUCCEEDED(written);
}

// Room for a process's path in its "\\?\" form.
static const size_t READ_PATH_CAPACITY = PROCESS_PATH_CAPACITY + 8;

void ReadFileFacts(const wchar_t* path, FileFacts* facts)
{
    ReadImageFileFacts(path, true, facts);
}

void ReadImageFileFacts(const wchar_t* path, bool reported, FileFacts* facts)
{
    ZeroMemory(facts, sizeof(*facts));
    facts->attributes = INVALID_FILE_ATTRIBUTES;
    facts->pathReported = reported;
    if (!path || !path[0] || FAILED(StringCchCopyW(facts->path, ARRAYSIZE(facts->path), path))) {
        facts->path[0] = L'\0';
        facts->access = FILE_NOT_LOCATED;
        return;
    }
    wchar_t readable[READ_PATH_CAPACITY];
    // A device or pipe name not at all; a name the process chose only when it is a drive's.
    bool named = !IsDevicePath(path) && (!reported || IsProbeableName(path));
    if (!named || !BuildImageReadPath(path, readable, ARRAYSIZE(readable))) {
        facts->access = FILE_UNREADABLE;
        facts->accessError = named ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME;
        return;
    }
    // No pipe server learns who we are, and a file that is no disk file is closed unread.
    DWORD error = ERROR_INVALID_NAME;
    ScopedHandle file(OpenDiskFileForReading(readable, &error));
    if (!file.Valid()) {
        facts->accessError = error;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            facts->access = FILE_GONE;
        else if (error == ERROR_ACCESS_DENIED)
            facts->access = FILE_ACCESS_DENIED;
        else
            facts->access = FILE_UNREADABLE;
        // The directory entry answers where the file itself is not ours to
        // open; asked of a drive's path only, never of a share's.
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (IsProbeableName(path) && GetFileAttributesExW(readable, GetFileExInfoStandard, &data)) {
            facts->attributes = data.dwFileAttributes;
            facts->size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
            facts->creationTime = FromFileTime(data.ftCreationTime);
            facts->lastWriteTime = FromFileTime(data.ftLastWriteTime);
        }
        return;
    }
    facts->access = FILE_READABLE;
    FileBasics basics;
    if (ReadFileBasics(file.Get(), &basics)) {
        facts->attributes = basics.attributes;
        facts->creationTime = basics.creationTime;
        facts->size = basics.size;
        facts->lastWriteTime = basics.lastWriteTime;
        facts->changeTime = basics.changeTime;
    }
}

// The running processes as one snapshot listed them.
struct ProcessTable {
    PROCESSENTRY32W* entries;
    int count;
};

static bool TakeProcessTable(ProcessTable* table)
{
    table->count = 0;
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid())
        return false;
    int capacity = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (table->count == capacity) {
            capacity = capacity ? 2 * capacity : 256;
            SIZE_T bytes = (SIZE_T)capacity * sizeof(entry);
            void* grown = table->entries ? HeapReAlloc(GetProcessHeap(), 0, table->entries, bytes)
                                         : HeapAlloc(GetProcessHeap(), 0, bytes);
            if (!grown)
                break;
            table->entries = (PROCESSENTRY32W*)grown;
        }
        table->entries[table->count++] = entry;
    }
    return true;
}

static void FreeProcessTable(ProcessTable* table)
{
    if (table->entries)
        HeapFree(GetProcessHeap(), 0, table->entries);
    ZeroMemory(table, sizeof(*table));
}

// The table's entries for the process and its parent.
static bool FindInTable(const ProcessTable* table, DWORD processId, PROCESSENTRY32W* process,
                        PROCESSENTRY32W* parent, bool* parentFound)
{
    *parentFound = false;
    const PROCESSENTRY32W* found = NULL;
    for (int i = 0; i < table->count && !found; ++i) {
        if (table->entries[i].th32ProcessID == processId)
            found = &table->entries[i];
    }
    if (!found)
        return false;
    *process = *found;
    for (int i = 0; i < table->count && process->th32ParentProcessID != processId; ++i) {
        const PROCESSENTRY32W& entry = table->entries[i];
        if (entry.th32ProcessID == process->th32ParentProcessID && entry.th32ProcessID != 0) {
            *parent = entry;
            *parentFound = true;
            break;
        }
    }
    return true;
}

static bool FindInSnapshot(DWORD processId, PROCESSENTRY32W* process, PROCESSENTRY32W* parent, bool* parentFound)
{
    ProcessTable table = {};
    bool found = TakeProcessTable(&table) && FindInTable(&table, processId, process, parent, parentFound);
    FreeProcessTable(&table);
    return found;
}

// Kept for the rows: one snapshot per process listed would cost seconds.
static ProcessTable keptTable;
static KeptTable kept;

static bool FindInRecentTable(DWORD processId, DWORD maximumAgeMs, PROCESSENTRY32W* process,
                              PROCESSENTRY32W* parent, bool* parentFound)
{
    bool fresh = EnterKeptTable(&kept, maximumAgeMs) && keptTable.entries;
    bool found = fresh && FindInTable(&keptTable, processId, process, parent, parentFound);
    // The rule: a process the table does not hold may be newer than it, and is looked for in a new one.
    if (!found) {
        MarkKeptTableRead(&kept);
        if (TakeProcessTable(&keptTable))
            found = FindInTable(&keptTable, processId, process, parent, parentFound);
    }
    LeaveKeptTable(&kept);
    return found;
}

void ReadProcessFacts(DWORD processId, ProcessFacts* facts)
{
    ReadProcessFactsRecently(processId, 0, facts);
}

void ReadProcessFactsRecently(DWORD processId, DWORD maximumAgeMs, ProcessFacts* facts)
{
    ScopedHandle process(seams.openProcess(ProcessQueryAccess(), FALSE, processId));
    ReadProcessFactsOf(process.Valid() ? process.Get() : NULL, processId, maximumAgeMs, facts);
}

static unsigned long long ReadStartTimeOf(HANDLE process)
{
    FILETIME creation, exit, kernel, user;
    if (!process || !GetProcessTimes(process, &creation, &exit, &kernel, &user))
        return 0;
    return FromFileTime(creation);
}

// The kernel's path of the process's file, through its handle; on XP the
// one its module list reports.
static void ReadImageFacts(HANDLE handle, const PROCESSENTRY32W* process, FileFacts* file)
{
    wchar_t exePath[PROCESS_PATH_CAPACITY];
    bool reported = IsImagePathReportedByProcess();
    bool found = reported ? process->th32ProcessID != 0 && FindModulePath(process, exePath)
                          : QueryImagePathOf(handle, exePath, ARRAYSIZE(exePath));
    if (found)
        ReadImageFileFacts(exePath, reported, file);
}

void ReadProcessFactsOf(HANDLE handle, DWORD processId, DWORD maximumAgeMs, ProcessFacts* facts)
{
    ZeroMemory(facts, sizeof(*facts));
    facts->processId = processId;
    facts->parent = PARENT_UNKNOWN;
    facts->file.attributes = INVALID_FILE_ATTRIBUTES;
    PROCESSENTRY32W process, parent;
    bool parentFound = false;
    facts->found = maximumAgeMs ? FindInRecentTable(processId, maximumAgeMs, &process, &parent, &parentFound)
                                : FindInSnapshot(processId, &process, &parent, &parentFound);
    if (!facts->found)
        return;
    StringCchCopyW(facts->imageName, ARRAYSIZE(facts->imageName), process.szExeFile);
    facts->startTime = ReadStartTimeOf(handle);
    facts->parentId = process.th32ParentProcessID;
    facts->parent = PARENT_EXITED;
    if (parentFound) {
        if (CouldBeParentByStart(ReadStartTime(parent.th32ProcessID), facts->startTime)) {
            facts->parent = PARENT_RUNNING;
            StringCchCopyW(facts->parentName, ARRAYSIZE(facts->parentName), parent.szExeFile);
        }
    }
    if (handle)
        ReadProcessUser(handle, facts->user);
    if (handle || IsImagePathReportedByProcess())
        ReadImageFacts(handle, &process, &facts->file);
}

bool CouldBeParentByStart(unsigned long long parentStart, unsigned long long childStart)
{
    return !parentStart || !childStart || parentStart <= childStart;
}

void FreeProcessFacts(ProcessFacts* facts)
{
    if (facts->commandLine)
        HeapFree(GetProcessHeap(), 0, facts->commandLine);
    facts->commandLine = NULL;
}
