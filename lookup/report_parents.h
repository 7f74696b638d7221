// A report's notes on each process's parent, from the snapshot the report
// lists and the notes it has already written: no file is read for them.
// The processes are reported parents first, so that a child's parent has its
// notes by then. One thread.
#pragma once
#include <windows.h>
#include "lookup/parent_notes.h"
#include "lookup/process_sheet.h"

struct ReportedParent {
    DWORD processId;
    DWORD listedParentId;        // the snapshot's word, before the start-time rule
    unsigned long long startTime;
    bool reported;
    bool hasNotes;               // notes of its own, its "which has notes" aside
};

// Heap memory: FreeReportParents releases it.
struct ReportParents {
    ReportedParent* processes;   // in the snapshot's order
    int count;
    int* byProcessId;            // indexes into `processes`, sorted by PID
    int* order;                  // parents before their children
};

// Lays out the order for the `count` processes the snapshot listed with
// these PIDs and parent PIDs. False when there was no memory.
bool StartReportParents(const DWORD* processIds, const DWORD* parentIds, int count, ReportParents* parents);
void FreeReportParents(ReportParents* parents);

// The notes on the parent of the process `index` whose sheet is read, into
// its sheet; the process is then known to its children, as having notes when
// `modulesWithNotes` or its sheet has any.
void NoteReportedParent(ReportParents* parents, int index, int modulesWithNotes, ProcessSheet* sheet);
