#include "app/process_list.h"
#include "core/program_text.h"
#include <algorithm>
#include <strsafe.h>
#include "app/app_state.h"
#include "core/ascii_folding.h"
#include "core/debug_privilege.h"
#include "core/seams.h"
#include "core/system_probes.h"
#include "lookup/process_facts.h"
#include "resource.h"

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
    if (unverifiedOnly && row->verified && !row->payloadUnverified && !row->modulesUnverified)
        return false;
    return ContainsFolded(row->imageName, filter, length) || ContainsFolded(row->description, filter, length) ||
           ContainsFolded(row->company, filter, length) || ContainsFolded(row->signer, filter, length) ||
           ContainsFolded(RowRuns(row), filter, length) || ContainsFolded(RowCommandLine(row), filter, length) ||
           ContainsFolded(row->notes, filter, length) || ContainsFolded(row->parentCell, filter, length);
}

int CompareProcessRows(const ProcessRow* a, const ProcessRow* b, int column)
{
    int order = 0;
    switch (column) {
    case COLUMN_DESCRIPTION:
        order = CompareFoldingAsciiLetters(a->description, b->description);
        break;
    case COLUMN_COMPANY:
        order = CompareFoldingAsciiLetters(a->company, b->company);
        break;
    case COLUMN_SIGNER:
        order = CompareFoldingAsciiLetters(a->signer, b->signer);
        break;
    case COLUMN_FOLDER:
        order = CompareFoldingAsciiLetters(a->folder, b->folder);
        break;
    case COLUMN_RUNS:
        order = CompareFoldingAsciiLetters(RowRuns(a), RowRuns(b));
        break;
    case COLUMN_COMMAND_LINE:
        order = CompareFoldingAsciiLetters(RowCommandLine(a), RowCommandLine(b));
        break;
    case COLUMN_PARENT:
        order = CompareFoldingAsciiLetters(a->parentCell, b->parentCell);
        break;
    case COLUMN_NOTES:
        order = a->noteCount != b->noteCount ? (a->noteCount < b->noteCount ? -1 : 1)
                                             : CompareFoldingAsciiLetters(a->notesCell, b->notesCell);
        break;
    }
    if (order == 0 && column != COLUMN_PID)
        order = CompareFoldingAsciiLetters(a->imageName, b->imageName);
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
    HANDLE opened = seams.openProcess(access, FALSE, row->processId);
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

static bool ByProcessId(const ProcessRow* a, const ProcessRow* b)
{
    return a->processId < b->processId;
}

// The first of the rows [0, count) with that PID; the rows are kept in PID order.
static int FindFirstRowOf(const ProcessList* list, int count, DWORD processId)
{
    ProcessRow key;
    key.processId = processId;
    ProcessRow** first = std::lower_bound(list->rows, list->rows + count, &key, ByProcessId);
    return first < list->rows + count && (*first)->processId == processId ? (int)(first - list->rows) : -1;
}

// Most refreshes find the same processes. The process IDs alone tell, at a
// fraction of a snapshot's cost (under Wine a snapshot of 150 processes takes
// several times as long).
static bool AreProcessesUnchanged(const ProcessList* list, DWORD access)
{
    // Room for a few more than we know: a full buffer may have left processes out.
    DWORD capacity = (DWORD)list->rowCount + 64;
    DWORD* ids = (DWORD*)HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(DWORD));
    if (!ids)
        return false;
    DWORD bytes = 0;
    bool unchanged = seams.enumProcessIds(ids, capacity * sizeof(DWORD), &bytes) &&
                     bytes < capacity * sizeof(DWORD) && (int)(bytes / sizeof(DWORD)) == list->rowCount;
    if (unchanged) {
        std::sort(ids, ids + list->rowCount);
        for (int i = 0; unchanged && i < list->rowCount; ++i)
            unchanged = list->rows[i]->processId == ids[i] && IsRowProcessAlive(list->rows[i], access);
    }
    HeapFree(GetProcessHeap(), 0, ids);
    return unchanged;
}

// Among the rows [0, count): the row of the same process.
static ProcessRow* FindRow(const ProcessList* list, int count, const PROCESSENTRY32W* process, DWORD access)
{
    int first = FindFirstRowOf(list, count, process->th32ProcessID);
    for (int i = first; i >= 0 && i < count && list->rows[i]->processId == process->th32ProcessID; ++i) {
        if (IsSameProcess(list->rows[i], process, access))
            return list->rows[i];
    }
    return NULL;
}

void MarkRowChanged(ProcessList* list, const ProcessRow* row)
{
    if (row->shownAt < 0)
        return;
    if (!list->anyChanged || row->shownAt < list->changedFirst)
        list->changedFirst = row->shownAt;
    if (!list->anyChanged || row->shownAt > list->changedLast)
        list->changedLast = row->shownAt;
    list->anyChanged = true;
}

bool TakeChangedRows(ProcessList* list, int* first, int* last)
{
    *first = list->changedFirst;
    *last = list->changedLast;
    bool any = list->anyChanged;
    list->anyChanged = false;
    return any;
}

int FillRowDetails(ProcessList* list, LONG id, const RowDetails* details)
{
    int filled = 0;
    for (int i = 0; id && i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        if (row->detailsId != id)
            continue;
        row->detailsId = 0;
        if (details->iconIndex >= 0)
            row->iconIndex = details->iconIndex;
        StringCchCopyW(row->description, ARRAYSIZE(row->description), details->description);
        StringCchCopyW(row->company, ARRAYSIZE(row->company), details->company);
        StringCchCopyW(row->folder, ARRAYSIZE(row->folder), details->folder);
        MarkRowChanged(list, row);
        ++filled;
    }
    return filled;
}

int FillRowSigner(ProcessList* list, LONG id, const SignerCheck* check, const wchar_t* changedText)
{
    int filled = 0;
    for (int i = 0; id && i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        if (row->signerId != id)
            continue;
        row->signerId = 0;
        row->verified = check->verdict == SIGNER_VERIFIED && !changedText && !row->pathReported;
        FormatSignerText(check, row->signer, ARRAYSIZE(row->signer));
        if (changedText)
            StringCchCatW(row->signer, ARRAYSIZE(row->signer), changedText);
        wchar_t reported[64];
        if (row->pathReported && LoadProgramText(IDS_AS_PROCESS_REPORTS, reported, ARRAYSIZE(reported)))
            StringCchCatW(row->signer, ARRAYSIZE(row->signer), reported);
        MarkRowChanged(list, row);
        ++filled;
    }
    return filled;
}

const wchar_t* RowRuns(const ProcessRow* row)
{
    return row->payload && row->payload->runs ? row->payload->runs : L"";
}

const wchar_t* RowCommandLine(const ProcessRow* row)
{
    return row->payload && row->payload->commandLine ? row->payload->commandLine : L"";
}

static void FreeText(wchar_t* text)
{
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
}

void FreeRowPayload(RowPayload* payload)
{
    if (!payload)
        return;
    FreeText(payload->commandLine);
    FreeText(payload->runs);
    FreeText(payload->text);
    for (int i = 0; i < payload->fileCount; ++i) {
        FreeText(payload->files[i].path);
        FreeText(payload->files[i].signer);
    }
    HeapFree(GetProcessHeap(), 0, payload);
}

static void FreeRow(ProcessRow* row)
{
    if (row->process)
        CloseHandle(row->process);
    FreeRowPayload(row->payload);
    HeapFree(GetProcessHeap(), 0, row);
}

static bool MakeRoom(ProcessRow*** array, int* capacity, int count);

static bool AddRow(ProcessList* list, const PROCESSENTRY32W* process, DWORD access)
{
    if (!MakeRoom(&list->rows, &list->rowCapacity, list->rowCount + 1))
        return false;
    ProcessRow* row = (ProcessRow*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessRow));
    if (!row)
        return false;
    row->processId = process->th32ProcessID;
    row->parentId = process->th32ParentProcessID;
    row->process = seams.openProcess(access, FALSE, process->th32ProcessID);
    row->createdAt = ReadCreationTime(row->process);
    row->seen = true;
    StringCchCopyW(row->imageName, ARRAYSIZE(row->imageName), process->szExeFile);
    row->hasPath = seams.processPathSource(process, row->exePath);
    if (!row->hasPath)
        row->exePath[0] = L'\0';
    row->pathReported = row->hasPath && IsImagePathReportedByProcess();
    row->iconIndex = list->genericIcon;
    row->shownAt = -1;
    list->rows[list->rowCount++] = row;
    return true;
}

struct SnapshotVisit {
    ProcessList* list;
    int knownRows;  // the rows before this snapshot, in PID order
    DWORD access;
};

static void MatchSnapshotProcess(const PROCESSENTRY32W* process, void* context)
{
    SnapshotVisit* visit = (SnapshotVisit*)context;
    ProcessRow* row = FindRow(visit->list, visit->knownRows, process, visit->access);
    if (row)
        row->seen = true;
    else
        AddRow(visit->list, process, visit->access);
}

bool RefreshProcessList(ProcessList* list)
{
    DWORD access = ProcessQueryAccess();
    if (list->rowCount > 0 && AreProcessesUnchanged(list, access))
        return false;
    for (int i = 0; i < list->rowCount; ++i)
        list->rows[i]->seen = false;
    SnapshotVisit visit = {list, list->rowCount, access};
    // New rows open their processes and read their paths.
    BeginDebugPrivilege();
    bool walked = seams.walkProcesses(MatchSnapshotProcess, &visit);
    EndDebugPrivilege();
    std::sort(list->rows, list->rows + list->rowCount, ByProcessId);
    if (walked)
        return true;
    // No snapshot: nothing ended that we know of.
    for (int i = 0; i < list->rowCount; ++i)
        list->rows[i]->seen = true;
    return false;
}

// The row of the process that started `row`: its PID, and started no later
// than the child (the Properties sheet's rule). PID 0 starts nothing.
static ProcessRow* FindParentRow(const ProcessList* list, const ProcessRow* row)
{
    if (row->parentId == 0 || row->parentId == row->processId)
        return NULL;
    int first = FindFirstRowOf(list, list->rowCount, row->parentId);
    for (int i = first; i >= 0 && i < list->rowCount && list->rows[i]->processId == row->parentId; ++i) {
        if (CouldBeParentByStart(list->rows[i]->createdAt, row->createdAt))
            return list->rows[i];
    }
    return NULL;
}

// Unknown start times may let two processes name each other: the first row
// found in such a loop stands at the top.
static void CutParentLoops(ProcessList* list)
{
    for (int i = 0; i < list->rowCount; ++i) {
        ProcessRow* ancestor = list->rows[i]->parentRow;
        int steps = 0;
        while (ancestor && ancestor != list->rows[i] && steps++ <= list->rowCount)
            ancestor = ancestor->parentRow;
        if (ancestor)
            list->rows[i]->parentRow = NULL;
    }
}

static void LinkParentRows(ProcessList* list)
{
    wchar_t format[32], exited[32];
    if (!LoadStringW(appState.instance, IDS_PARENT_CELL, format, ARRAYSIZE(format)))
        StringCchCopyW(format, ARRAYSIZE(format), L"%s (%lu)");
    if (!LoadStringW(appState.instance, IDS_SHEET_PARENT_EXITED, exited, ARRAYSIZE(exited)))
        exited[0] = L'\0';
    for (int i = 0; i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        row->parentRow = FindParentRow(list, row);
        if (row->parentRow)
            StringCchPrintfW(row->parentCell, ARRAYSIZE(row->parentCell), format, row->parentRow->imageName,
                             row->parentRow->processId);
        else
            StringCchCopyW(row->parentCell, ARRAYSIZE(row->parentCell), exited);
    }
    CutParentLoops(list);
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
    // No row points to a freed one.
    LinkParentRows(list);
}

void FreeProcessList(ProcessList* list)
{
    for (int i = 0; i < list->rowCount; ++i)
        FreeRow(list->rows[i]);
    if (list->rows)
        HeapFree(GetProcessHeap(), 0, list->rows);
    if (list->shown)
        HeapFree(GetProcessHeap(), 0, list->shown);
    ZeroMemory(list, sizeof(*list));
}

// Room for `count` row pointers at *array; false when memory ran out.
static bool MakeRoom(ProcessRow*** array, int* capacity, int count)
{
    if (count <= *capacity)
        return true;
    int grown = *capacity ? *capacity : 256;
    while (grown < count)
        grown *= 2;
    SIZE_T bytes = (SIZE_T)grown * sizeof(ProcessRow*);
    void* memory = *array ? HeapReAlloc(GetProcessHeap(), 0, *array, bytes) : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!memory)
        return false;
    *array = (ProcessRow**)memory;
    *capacity = grown;
    return true;
}

// A matching row keeps its ancestors, so that it shows under them.
static void KeepMatchingRows(ProcessList* list, const wchar_t* filter, const RowView* view)
{
    for (int i = 0; i < list->rowCount; ++i)
        list->rows[i]->kept = false;
    for (int i = 0; i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        if (!RowMatchesFilter(row, filter, view->unverifiedOnly))
            continue;
        for (; row && !row->kept; row = view->tree ? row->parentRow : NULL)
            row->kept = true;
    }
}

// The sorted kept rows become each row followed by its children, depth
// first, a collapsed row's descendants left out. Parent loops are cut, and
// every kept row's parent is kept: each row is placed once.
static void PlaceRowsUnderParents(ProcessList* list)
{
    ProcessRow* top = NULL;
    for (int i = 0; i < list->shownCount; ++i)
        list->shown[i]->firstChild = NULL;
    for (int i = list->shownCount - 1; i >= 0; --i) {
        ProcessRow* row = list->shown[i];
        ProcessRow** head = row->parentRow ? &row->parentRow->firstChild : &top;
        row->nextSibling = *head;
        *head = row;
    }
    int placed = 0, depth = 0;
    for (ProcessRow* row = top; row;) {
        row->depth = depth;
        row->hasChildren = row->firstChild != NULL;
        list->shown[placed++] = row;
        if (row->firstChild && !row->collapsed) {
            row = row->firstChild;
            ++depth;
            continue;
        }
        while (row && !row->nextSibling) {
            row = row->parentRow;
            --depth;
        }
        row = row ? row->nextSibling : NULL;
    }
    list->shownCount = placed;
}

bool ShowMatchingRows(ProcessList* list, const RowView* view)
{
    for (int i = 0; i < list->rowCount; ++i) {
        list->rows[i]->shownAt = -1;
        list->rows[i]->depth = 0;
        list->rows[i]->hasChildren = false;
    }
    list->shownCount = 0;
    if (!MakeRoom(&list->shown, &list->shownCapacity, list->rowCount))
        return false;
    const wchar_t* filter = view->filter ? view->filter : L"";
    KeepMatchingRows(list, filter, view);
    for (int i = 0; i < list->rowCount; ++i) {
        if (list->rows[i]->kept)
            list->shown[list->shownCount++] = list->rows[i];
    }
    int column = view->sortColumn;
    bool descending = view->descending;
    std::sort(list->shown, list->shown + list->shownCount, [column, descending](const ProcessRow* a, const ProcessRow* b) {
        int order = CompareProcessRows(a, b, column);
        return descending ? order > 0 : order < 0;
    });
    list->shownAsTree = view->tree;
    if (view->tree)
        PlaceRowsUnderParents(list);
    for (int i = 0; i < list->shownCount; ++i)
        list->shown[i]->shownAt = i;
    return true;
}

static bool ExpandBelow(ProcessRow* row)
{
    bool changed = false;
    for (ProcessRow* child = row->firstChild; child; child = child->nextSibling) {
        changed = child->collapsed || changed;
        child->collapsed = false;
        changed = ExpandBelow(child) || changed;
    }
    return changed;
}

bool ExpandShownRow(ProcessList* list, int index, bool expand, bool everyLevel)
{
    ProcessRow* row = ShownRow(list, index);
    if (!row || !row->hasChildren)
        return false;
    bool changed = row->collapsed == expand;
    row->collapsed = !expand;
    if (everyLevel)
        changed = ExpandBelow(row) || changed;
    return changed;
}

ProcessRow* ShownRow(const ProcessList* list, int index)
{
    return index >= 0 && index < list->shownCount ? list->shown[index] : NULL;
}

int FindShownProcess(const ProcessList* list, DWORD processId)
{
    for (int i = 0; i < list->shownCount; ++i) {
        if (list->shown[i]->processId == processId)
            return i;
    }
    return -1;
}

int FindShownName(const ProcessList* list, const wchar_t* prefix, int start)
{
    size_t length = wcslen(prefix);
    if (list->shownCount == 0 || length == 0)
        return -1;
    if (start < 0 || start >= list->shownCount)
        start = 0;
    for (int step = 0; step < list->shownCount; ++step) {
        int index = (start + step) % list->shownCount;
        if (EqualFoldingAsciiLetters(list->shown[index]->imageName, prefix, length))
            return index;
    }
    return -1;
}
