// What is known of the modules of a process: each module's file facts,
// version, digests, signer and notes (lookup/module_notes), read on the
// reads' lane (the signer cache is that lane's). Formatting runs anywhere.
#pragma once
#include <windows.h>
#include "core/file_fingerprint.h"
#include "core/folder_tokens.h"
#include "core/process_modules.h"
#include "core/signer_check.h"
#include "lookup/file_evidence.h"
#include "lookup/module_notes.h"
#include "lookup/process_facts.h"
#include "lookup/property_sheet.h"

// A process's modules with notes kept, in room grown as they are found; the
// others are only counted.
const int NOTED_MODULE_LIMIT = 256;

// What every module of one process is compared with.
struct ModuleProcessContext {
    DWORD processId;
    const wchar_t* processName;
    const wchar_t* executable;               // its own image, not listed again; NULL: unknown
    unsigned long long processStart;         // FILETIME; 0: unknown
    const wchar_t* programSigner;            // the executable's verified signer; NULL or empty: it does not verify
    const NoteFolders* folders;              // NULL: the folder rules say nothing
    const KnownLibraryNames* knownLibraries; // NULL: the fixed list alone
};

// One module's own sheet. About 20 KB: allocate it.
struct ModuleSheet {
    ProcessModule module;
    DWORD processId;
    wchar_t processName[MAX_PATH];
    FileFacts file;
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];  // empty: none
    bool versionRead;
    SheetVersionStrings version;
    bool digestsRead;
    FileFingerprint digests;
    bool signerRead;
    SignerCheck signer;
    ModuleNotes notes;
};

struct NotedModule {
    wchar_t path[MAX_PATH];
    int nameOffset;          // where the file name starts in path
    ModuleNotes notes;       // notes.text[0] is the first
    FileFingerprint digests; // valid only from a whole read
    bool unverified;         // its signer was checked and does not verify
};

// Heap memory: FreeProcessModuleNotes releases it.
struct ProcessModuleNotes {
    ModuleListState state;
    DWORD error;
    int total;          // modules listed, the executable left out
    int notedTotal;     // of them with notes, kept or not
    int notedCount;
    NotedModule* noted;
};

// The system's KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs).
void ReadKnownLibraryNames(KnownLibraryNames* names);

// Reads one module's file facts, folder and notes; its version, digests and
// signer too when `whole` (a module's own sheet). Without `whole` the signer
// is checked only where a note needs it (the program verifies).
void ReadModuleSheet(const ProcessModule* module, const ModuleProcessContext* context, bool whole,
                     ModuleSheet* sheet);
// The whole sheet with the version strings, digests and signer given by
// `source` (a report's reader of each file once).
void ReadModuleSheetFrom(const ProcessModule* module, const ModuleProcessContext* context,
                         const FileEvidenceSource* source, ModuleSheet* sheet);
// The sheet's lines ("Module", "File", "Folder", "Size", "MD5", "SHA-256",
// the version strings, "Verified signer", "Loaded by", "Notes:"), CR LF
// ended; false when a line did not fit.
bool FormatModuleSheet(const ModuleSheet* sheet, wchar_t* text, size_t capacity);

// The modules of `process` (core/process_modules) with their notes, only
// those with notes kept. A row's read (`whole` false) hashes nothing and
// checks signers only where a note needs them; the sheet's adds the digests
// of each module kept.
void ReadProcessModuleNotes(HANDLE process, const ModuleProcessContext* context, bool whole,
                            ProcessModuleNotes* notes);
// The same for a row: opens the process listed under `processId` with
// `listedStart` (0: any) and reads its start; `programSigner` as above.
void ReadRowModuleNotes(DWORD processId, unsigned long long listedStart, const wchar_t* executable,
                        const wchar_t* programSigner, ProcessModuleNotes* notes);
void FreeProcessModuleNotes(ProcessModuleNotes* notes);
