#include "lookup/report_parents.h"
#include <stdlib.h>
#include <strsafe.h>
#include "lookup/process_facts.h"

static const ReportedParent* sortedProcesses;  // qsort's comparison has no context

static int CompareProcessIds(const void* a, const void* b)
{
    DWORD x = sortedProcesses[*(const int*)a].processId, y = sortedProcesses[*(const int*)b].processId;
    return x < y ? -1 : x > y ? 1 : 0;
}

static int FindListedProcess(const ReportParents* parents, DWORD processId)
{
    int low = 0, high = parents->count - 1;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        DWORD found = parents->processes[parents->byProcessId[middle]].processId;
        if (found == processId)
            return parents->byProcessId[middle];
        if (found < processId)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

// Each process after the chain of its listed ancestors; a loop of PIDs
// (a PID taken again) is broken where it closes.
static void OrderParentsFirst(ReportParents* parents, int* chain, bool* placed)
{
    int ordered = 0;
    for (int i = 0; i < parents->count; ++i) {
        int length = 0;
        for (int j = i; j >= 0 && !placed[j]; j = FindListedProcess(parents, parents->processes[j].listedParentId)) {
            placed[j] = true;
            chain[length++] = j;
        }
        while (length > 0)
            parents->order[ordered++] = chain[--length];
    }
}

bool StartReportParents(const DWORD* processIds, const DWORD* parentIds, int count, ReportParents* parents)
{
    HANDLE heap = GetProcessHeap();
    ZeroMemory(parents, sizeof(*parents));
    size_t room = count > 0 ? (size_t)count : 1;
    parents->processes = (ReportedParent*)HeapAlloc(heap, HEAP_ZERO_MEMORY, room * sizeof(ReportedParent));
    parents->byProcessId = (int*)HeapAlloc(heap, 0, room * sizeof(int));
    parents->order = (int*)HeapAlloc(heap, 0, room * sizeof(int));
    int* chain = (int*)HeapAlloc(heap, 0, room * sizeof(int));
    bool* placed = (bool*)HeapAlloc(heap, HEAP_ZERO_MEMORY, room * sizeof(bool));
    bool started = parents->processes && parents->byProcessId && parents->order && chain && placed;
    if (started) {
        parents->count = count;
        for (int i = 0; i < count; ++i) {
            parents->processes[i].processId = processIds[i];
            parents->processes[i].listedParentId = parentIds[i];
            parents->byProcessId[i] = i;
        }
        sortedProcesses = parents->processes;
        qsort(parents->byProcessId, count, sizeof(int), CompareProcessIds);
        OrderParentsFirst(parents, chain, placed);
    }
    if (chain)
        HeapFree(heap, 0, chain);
    if (placed)
        HeapFree(heap, 0, placed);
    if (!started)
        FreeReportParents(parents);
    return started;
}

void FreeReportParents(ReportParents* parents)
{
    HANDLE heap = GetProcessHeap();
    if (parents->processes)
        HeapFree(heap, 0, parents->processes);
    if (parents->byProcessId)
        HeapFree(heap, 0, parents->byProcessId);
    if (parents->order)
        HeapFree(heap, 0, parents->order);
    ZeroMemory(parents, sizeof(*parents));
}

static void AddParentNote(ParentNotes* notes, const wchar_t* note)
{
    if (notes->count < PARENT_NOTE_RULES)
        StringCchCopyW(notes->text[notes->count++], NOTE_TEXT_CAPACITY, note);
}

// The parent the sheet names, when the report has already written it and it
// started before the child.
static const ReportedParent* FindReportedParent(const ReportParents* parents, const ProcessSheet* sheet)
{
    if (sheet->process.parent != PARENT_RUNNING)
        return NULL;
    int index = FindListedProcess(parents, sheet->process.parentId);
    const ReportedParent* parent = index >= 0 ? &parents->processes[index] : NULL;
    return parent && parent->reported && CouldBeParentByStart(parent->startTime, sheet->process.startTime) ? parent
                                                                                                          : NULL;
}

void NoteReportedParent(ReportParents* parents, int index, int modulesWithNotes, ProcessSheet* sheet)
{
    ParentNotes* notes = &sheet->parentNotes;
    notes->count = 0;
    NoteWords words;
    wchar_t note[NOTE_TEXT_CAPACITY];
    const ProcessFacts* process = &sheet->process;
    if (process->parent == PARENT_RUNNING &&
        NoteDocumentParent(process->parentName, process->imageName, &words) &&
        FormatNoteWords(&words, note, ARRAYSIZE(note)))
        AddParentNote(notes, note);
    ReportedParent* reported = &parents->processes[index];
    // Its own "which has notes" is not passed down: that would mark every generation.
    reported->hasNotes = modulesWithNotes > 0 || notes->count > 0 || (sheet->notesRead && sheet->notes.count > 0);
    const ReportedParent* parent = FindReportedParent(parents, sheet);
    if (parent && parent->hasNotes && NoteNotedParent(process->parentName, &words) &&
        FormatNoteWords(&words, note, ARRAYSIZE(note)))
        AddParentNote(notes, note);
    reported->startTime = process->startTime;
    reported->reported = true;
}
