// Notes on a startup entry's file at rest: lookup/file_notes' rules that
// judge a file rather than a running process (signer claims, Windows names,
// look-alikes, double extensions, hidden characters, a folder the user can
// write to, a removable or network drive, a hidden file, a recent one), and
// two of an entry's own: its file is missing, and it runs through a script
// host or loader. The rules are pure functions; ReadStartupEvidence reads
// what they judge, for the window's background job, one entry at a time.
#pragma once
#include <windows.h>
#include "core/signer_check.h"
#include "core/version_info.h"
#include "lookup/file_evidence.h"
#include "lookup/file_notes.h"
#include "lookup/startup_entry.h"

const int STARTUP_NOTE_RULES = 13;

struct StartupNotes {
    int count;
    wchar_t text[STARTUP_NOTE_RULES][NOTE_TEXT_CAPACITY];
    NoteWords words[STARTUP_NOTE_RULES];
};

// "Its file is missing": the entry names a program that is not there.
bool NoteFileMissing(const StartupEntry* entry, NoteWords* note);
// "Runs through <host>": the program is a script host or loader (rundll32,
// regsvr32, cmd, powershell, wscript, cscript, mshta, msiexec, svchost...).
bool NoteRunsThroughHost(const StartupEntry* entry, NoteWords* note);
// The host's file name when `program` (a path or a name) is one; NULL otherwise.
const wchar_t* FindStartupHostName(const wchar_t* program);

// The entry's notes: its own two, then the file rules that apply to a file
// at rest, judged on `facts` (NULL: the file was not read; only its own).
void ListStartupNotes(const StartupEntry* entry, const NoteFacts* facts, StartupNotes* notes);

// What the file rules judge for an entry: the payload a host runs, else the program.
struct StartupEvidence {
    wchar_t path[MAX_PATH];                       // the file judged; empty: none that exists
    wchar_t company[VERSION_STRING_CAPACITY];     // CompanyName, or empty
    wchar_t fileVersion[VERSION_STRING_CAPACITY];
    wchar_t description[VERSION_STRING_CAPACITY];
    SignerCheck signer;
    NoteFacts facts;                              // points into this record
    bool factsRead;
};

// Reads the entry's file's version strings, signer (through `signerCache`,
// the reads lane's: ReadsLaneSignerCache(); NULL: none kept) and the facts
// the rules judge. `folders` from ReadNoteFolders, outliving `evidence`.
// The file is opened as a disk file only. Then ListStartupNotes(entry,
// evidence->factsRead ? &evidence->facts : NULL, ...).
void ReadStartupEvidence(const StartupEntry* entry, SignerCache* signerCache, const NoteFolders* folders,
                         StartupEvidence* evidence);
// The same with the file's version strings, digests and signer given by
// `source` (a report's reader of each file once) into `file` too; `file`
// is left zero when no file exists to judge.
void ReadStartupEvidenceFrom(const StartupEntry* entry, const FileEvidenceSource* source, const NoteFolders* folders,
                             StartupEvidence* evidence, FileEvidence* file);
