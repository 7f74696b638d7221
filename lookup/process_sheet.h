// One process's Properties sheet: everything it shows, read in one place for
// the Properties window, Ctrl+C and the Notes column. The reads run on a
// background job of the reads' lane only (they keep that lane's caches);
// the formatting runs anywhere.
#pragma once
#include <windows.h>
#include "core/file_fingerprint.h"
#include "core/folder_tokens.h"
#include "lookup/file_evidence.h"
#include "lookup/file_notes.h"
#include "lookup/host_payload.h"
#include "lookup/logon_entries.h"
#include "lookup/module_reads.h"
#include "lookup/parent_notes.h"
#include "lookup/process_facts.h"
#include "lookup/property_sheet.h"
#include "lookup/reads_lane_signers.h"

// About 45 KB: allocate it. Each "read" flag says its value is known.
struct ProcessSheet {
    // The start time the process was listed with (0: any): a process found
    // under its PID that started otherwise is a newer one, and not described.
    unsigned long long expectedStart;
    // No read will come (none could be run): what is unknown is left out, not "Reading...".
    bool readsAbandoned;
    ProcessFacts process;  // owns its command line: FreeProcessSheet releases it
    bool processRead;
    bool commandLineRead;
    bool folderRead;
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
    bool digestsRead;
    FileFingerprint digests;
    bool versionRead;
    SheetVersionStrings version;
    bool signerRead;
    SignerCheck signer;
    bool runsRead;
    wchar_t runs[HOST_RUNS_CAPACITY];
    size_t runsFileCount;                      // the files behind "Runs", full paths
    wchar_t runsFiles[HOST_PAYLOAD_FILES][MAX_PATH];
    bool logonRead;
    LogonEntries logon;
    bool notesRead;
    FileNotes notes;
    // Its notes on its parent, given by what knows the parent's notes (the
    // window's row, the report); no read fills them.
    ParentNotes parentNotes;
    // The whole read's modules with notes; their list on the heap (FreeProcessSheet).
    bool modulesRead;
    ProcessModuleNotes modules;
};

// A sheet that knows only the process's name and PID.
void StartProcessSheet(DWORD processId, const wchar_t* imageName, ProcessSheet* sheet);

// Reads what the sheet shows. Without `whole`, only what the notes need
// (the facts, folder, version strings, signer and logon entries): no digests,
// command line, "Runs" or modules. Stops between reads once *stop turns non-zero
// (stop NULL: never). On the reads' lane only.
void ReadProcessSheet(ProcessSheet* sheet, bool whole, const volatile LONG* stop);
// The whole sheet but its modules, the file's version strings, digests and
// signer given by `source` (a report's reader of each file once). What every
// process shares (the process list, the logon entries, the user's folders,
// the services) may have been read `sharedAgeMs` ago (0: afresh). Any thread
// `source` allows.
void ReadProcessSheetFrom(ProcessSheet* sheet, const FileEvidenceSource* source, DWORD sharedAgeMs);

// The sheet as text (lines ended by CR LF), "Reading..." where a value is
// not yet known. False when a line did not fit.
bool FormatProcessSheet(const ProcessSheet* sheet, wchar_t* text, size_t capacity);
// The same with each note's explanation on an indented line under it, as
// the Properties window shows it.
bool FormatExplainedProcessSheet(const ProcessSheet* sheet, wchar_t* text, size_t capacity);
// Whether every value is known.
bool IsProcessSheetComplete(const ProcessSheet* sheet);

void FreeProcessSheet(ProcessSheet* sheet);
