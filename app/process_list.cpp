#include "app/process_list.h"
#include <psapi.h>
#include <strsafe.h>
#include <tlhelp32.h>
#include "core/ascii_folding.h"
#include "core/seams.h"
#include "core/system_probes.h"

static int CompareFolded(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        wchar_t x = FoldAsciiLetter(*a);
        wchar_t y = FoldAsciiLetter(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == L'\0')
            return 0;
    }
}

static bool ContainsFolded(const wchar_t* text, const wchar_t* part, size_t partLength)
{
    if (partLength == 0)
        return true;
    for (; *text; ++text) {
        if (EqualFoldingAsciiLetters(text, part, partLength))
            return true;
    }
    return false;
}

bool RowMatchesFilter(const ProcessRow* row, const wchar_t* filter, bool unverifiedOnly)
{
    size_t length = wcslen(filter);
    if (unverifiedOnly && row->verified)
        return false;
    return ContainsFolded(row->imageName, filter, length) || ContainsFolded(row->description, filter, length) ||
           ContainsFolded(row->company, filter, length) || ContainsFolded(row->signer, filter, length);
}

int CompareProcessRows(const ProcessRow* a, const ProcessRow* b, int column)
{
    int order = 0;
    switch (column) {
    case COLUMN_DESCRIPTION:
        order = CompareFolded(a->description, b->description);
        break;
    case COLUMN_COMPANY:
        order = CompareFolded(a->company, b->company);
        break;
    case COLUMN_SIGNER:
        order = CompareFolded(a->signer, b->signer);
        break;
    case COLUMN_FOLDER:
        order = CompareFolded(a->folder, b->folder);
        break;
    }
    if (order == 0 && column != COLUMN_PID)
        order = CompareFolded(a->imageName, b->imageName);
    if (order == 0 && a->processId != b->processId)
        order = a->processId < b->processId ? -1 : 1;
    return order;
}

static ULONGLONG ReadCreationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!process || !GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

// A row's process is still the one it shows: held (its PID cannot be reused
// meanwhile), or created at the same time.
static bool IsRowProcessAlive(const ProcessRow* row, DWORD access)
{
    if (row->process)
        return true;
    HANDLE opened = OpenProcess(access, FALSE, row->processId);
    ULONGLONG createdAt = ReadCreationTime(opened);
    if (opened)
        CloseHandle(opened);
    return createdAt == row->createdAt;
}

// Same PID and name, and the same process.
static bool IsSameProcess(const ProcessRow* row, const PROCESSENTRY32W* process, DWORD access)
{
    if (row->processId != process->th32ProcessID || wcscmp(row->imageName, process->szExeFile) != 0)
        return false;
    return IsRowProcessAlive(row, access);
}

static const ProcessRow* FindRowById(const ProcessList* list, DWORD processId)
{
    for (int i = 0; i < list->rowCount; ++i) {
        if (list->rows[i]->processId == processId)
            return list->rows[i];
    }
    return NULL;
}

// Most refreshes find the same processes. The process IDs alone tell, at a
// fraction of a snapshot's cost (under Wine a snapshot of 150 processes takes
// several times as long).
static bool AreProcessesUnchanged(const ProcessList* list, DWORD access)
{
    DWORD ids[1024];
    DWORD bytes = 0;
    // A full buffer may have left processes out.
    if (!EnumProcesses(ids, sizeof(ids), &bytes) || bytes >= sizeof(ids))
        return false;
    int count = (int)(bytes / sizeof(DWORD));
    if (count != list->rowCount)
        return false;
    for (int i = 0; i < count; ++i) {
        const ProcessRow* row = FindRowById(list, ids[i]);
        if (!row || !IsRowProcessAlive(row, access))
            return false;
    }
    return true;
}

static ProcessRow* FindRow(const ProcessList* list, const PROCESSENTRY32W* process, DWORD access)
{
    for (int i = 0; i < list->rowCount; ++i) {
        if (IsSameProcess(list->rows[i], process, access))
            return list->rows[i];
    }
    return NULL;
}

// Another process of the same file, described or being described.
static const ProcessRow* FindRowOfFile(const ProcessList* list, const ProcessRow* row)
{
    for (int i = 0; i < list->rowCount; ++i) {
        const ProcessRow* other = list->rows[i];
        if (other->hasPath && CompareFolded(other->exePath, row->exePath) == 0)
            return other;
    }
    return NULL;
}

// Another process of the same file shares its details, read or on their way.
static void DescribeRow(const ProcessList* list, ProcessRow* row)
{
    row->iconIndex = list->genericIcon;
    if (!row->hasPath)
        return;
    const ProcessRow* twin = FindRowOfFile(list, row);
    if (!twin) {
        row->detailsId = RequestRowDetails(row->exePath, list->detailsWindow);
        row->signerId = RequestRowSigner(row->exePath, list->detailsWindow);
        if (row->signerId && list->checkingText)
            StringCchCopyW(row->signer, ARRAYSIZE(row->signer), list->checkingText);
        return;
    }
    row->detailsId = twin->detailsId;
    row->signerId = twin->signerId;
    row->verified = twin->verified;
    StringCchCopyW(row->signer, ARRAYSIZE(row->signer), twin->signer);
    row->iconIndex = twin->iconIndex;
    StringCchCopyW(row->description, ARRAYSIZE(row->description), twin->description);
    StringCchCopyW(row->company, ARRAYSIZE(row->company), twin->company);
    StringCchCopyW(row->folder, ARRAYSIZE(row->folder), twin->folder);
}

void FillRowDetails(ProcessRow* row, const RowDetails* details)
{
    row->detailsId = 0;
    if (details->iconIndex >= 0)
        row->iconIndex = details->iconIndex;
    StringCchCopyW(row->description, ARRAYSIZE(row->description), details->description);
    StringCchCopyW(row->company, ARRAYSIZE(row->company), details->company);
    StringCchCopyW(row->folder, ARRAYSIZE(row->folder), details->folder);
}

void FillRowSigner(ProcessRow* row, const SignerCheck* check)
{
    row->signerId = 0;
    row->verified = check->verdict == SIGNER_VERIFIED;
    FormatSignerText(check, row->signer, ARRAYSIZE(row->signer));
}

static void FreeRow(ProcessRow* row)
{
    if (row->process)
        CloseHandle(row->process);
    HeapFree(GetProcessHeap(), 0, row);
}

static bool AddRow(ProcessList* list, const PROCESSENTRY32W* process, DWORD access)
{
    if (list->rowCount == list->rowCapacity) {
        int capacity = list->rowCapacity ? list->rowCapacity * 2 : 256;
        SIZE_T bytes = capacity * sizeof(ProcessRow*);
        void* grown = list->rows ? HeapReAlloc(GetProcessHeap(), 0, list->rows, bytes)
                                 : HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!grown)
            return false;
        list->rows = (ProcessRow**)grown;
        list->rowCapacity = capacity;
    }
    ProcessRow* row = (ProcessRow*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessRow));
    if (!row)
        return false;
    row->processId = process->th32ProcessID;
    row->process = OpenProcess(access, FALSE, process->th32ProcessID);
    row->createdAt = ReadCreationTime(row->process);
    row->seen = true;
    StringCchCopyW(row->imageName, ARRAYSIZE(row->imageName), process->szExeFile);
    row->hasPath = seams.processPathSource(process, row->exePath);
    if (!row->hasPath)
        row->exePath[0] = L'\0';
    DescribeRow(list, row);
    list->rows[list->rowCount++] = row;
    return true;
}

bool RefreshProcessList(ProcessList* list)
{
    DWORD access = ProcessQueryAccess();
    if (list->rowCount > 0 && AreProcessesUnchanged(list, access))
        return false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    for (int i = 0; i < list->rowCount; ++i)
        list->rows[i]->seen = false;
    PROCESSENTRY32W process;
    ZeroMemory(&process, sizeof(process));
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snapshot, &process); more; more = Process32NextW(snapshot, &process)) {
        ProcessRow* row = FindRow(list, &process, access);
        if (row)
            row->seen = true;
        else
            AddRow(list, &process, access);
    }
    CloseHandle(snapshot);
    return true;
}

void DropExitedRows(ProcessList* list)
{
    int kept = 0;
    for (int i = 0; i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        if (row->seen)
            list->rows[kept++] = row;
        else
            FreeRow(row);
    }
    list->rowCount = kept;
}

void FreeProcessList(ProcessList* list)
{
    for (int i = 0; i < list->rowCount; ++i)
        FreeRow(list->rows[i]);
    if (list->rows)
        HeapFree(GetProcessHeap(), 0, list->rows);
    list->rows = NULL;
    list->rowCount = 0;
    list->rowCapacity = 0;
}
