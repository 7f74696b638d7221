// Everything a report holds, read in one pass with no window: every running
// process as its Properties sheet has it, with every module, and every
// startup entry with its file's evidence and notes. Each file is read once
// (lookup/report_files). What is read is handed on one process or entry at
// a time, in the report's order, so the report's memory does not grow with the
// machine. The processes are read on a few threads at once (core/ordered_reads).
#pragma once
#include <windows.h>
#include "lookup/module_reads.h"
#include "lookup/process_sheet.h"
#include "lookup/report_files.h"
#include "lookup/startup_entry.h"
#include "lookup/startup_notes.h"

struct ReportModule {
    wchar_t path[MAX_PATH];
    bool evidenceRead;     // false: the file could not be read; digests and signer unknown
    FileFingerprint digests;
    SignerCheck signer;
    ModuleNotes notes;
};

struct ReportProcess {
    const ProcessSheet* sheet;       // read whole, but for its modules
    ModuleListState modulesState;
    int moduleCount;
    const ReportModule* modules;
};

struct ReportStartup {
    const StartupEntry* entry;
    const StartupEvidence* evidence;  // evidence->path empty: no file to judge
    const FileEvidence* file;         // valid digests only when read whole
    const StartupNotes* notes;
};

struct ReportVisitor {
    void* context;
    void (*process)(void* context, const ReportProcess* process);
    void (*startup)(void* context, const ReportStartup* entry);
    // Before each process: `done` of `total` read so far.
    void (*progress)(void* context, int done, int total);
};

// Reads every process and startup entry, handing each to `visitor` as it is
// read. False when there was no memory for the reads.
bool GatherReport(ReportFiles* files, const ReportVisitor* visitor);
