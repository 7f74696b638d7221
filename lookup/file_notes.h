// Notes on a running file: plain facts that deserve a second look, each in
// the string table's words (lookup/note_words). Every rule is a pure function of a facts record, so any
// thread may run them and the fuzz driver may feed them anything;
// lookup/note_facts gathers the record.
#pragma once
#include <windows.h>
#include "core/folder_access.h"
#include "core/signer_check.h"
#include "lookup/note_words.h"

const int FILE_NOTE_RULES = 14;
const int NOTE_WRITABLE_FOLDERS = 8;

// The system's folders the rules compare against, read once by ReadNoteFolders
// (no trailing backslash; empty when the system has none). Compared with case
// folded as the file system folds it (core/file_name_case.h).
struct NoteFolders {
    wchar_t windows[MAX_PATH];
    wchar_t programData[MAX_PATH];                        // its root only counts
    wchar_t writable[NOTE_WRITABLE_FOLDERS][MAX_PATH];    // profile, temp, desktop, AppData, public...
};

// FILETIME values as 64-bit counts; 0 where unknown.
struct NoteFacts {
    const wchar_t* path;              // the file's full path, canonical (core/final_path.h); the name is its last part
    const wchar_t* folderWithTokens;  // the folder as sent, such as %temp%; NULL: unknown
    const wchar_t* company;           // CompanyName; NULL or empty: none
    bool signerKnown;
    SignerVerdict signerVerdict;
    const wchar_t* signer;            // the signer's name, or empty
    unsigned long long processStart;
    unsigned long long creationTime;
    unsigned long long lastWriteTime;
    unsigned long long changeTime;
    unsigned long long now;
    DWORD attributes;                 // INVALID_FILE_ATTRIBUTES: unknown
    UINT driveType;                   // GetDriveTypeW of the file's root; DRIVE_UNKNOWN: unknown
    int logonEntries;                 // entries that start the file at logon
    const NoteFolders* folders;       // NULL: the folder rules say nothing
    FolderAccess folderAccess;        // whether the user can add a file to the file's folder; unknown: the list decides
    wchar_t canonicalPath[MAX_PATH];  // GatherNoteFacts's copy of the path, made canonical: `path` points here
};

// Each note as written and worded in the language of the thread that listed it.
struct FileNotes {
    int count;
    wchar_t text[FILE_NOTE_RULES][NOTE_TEXT_CAPACITY];
    NoteWords words[FILE_NOTE_RULES];
};

// A rule writes its note and returns true when it applies.
typedef bool (*NoteRule)(const NoteFacts* facts, NoteWords* note);

bool NoteUnsignedClaim(const NoteFacts* facts, NoteWords* note);
bool NoteOtherSigner(const NoteFacts* facts, NoteWords* note);
bool NoteWindowsNameElsewhere(const NoteFacts* facts, NoteWords* note);
bool NoteLookAlikeName(const NoteFacts* facts, NoteWords* note);
bool NoteDoubleExtension(const NoteFacts* facts, NoteWords* note);
bool NoteHiddenCharacters(const NoteFacts* facts, NoteWords* note);
bool NoteWritableFolder(const NoteFacts* facts, NoteWords* note);
bool NoteRemovableDrive(const NoteFacts* facts, NoteWords* note);
bool NoteNetworkFolder(const NoteFacts* facts, NoteWords* note);
bool NoteChangedAfterStart(const NoteFacts* facts, NoteWords* note);
bool NoteHiddenFile(const NoteFacts* facts, NoteWords* note);
bool NoteRecentlyCreated(const NoteFacts* facts, NoteWords* note);
bool NoteStartsAtLogon(const NoteFacts* facts, NoteWords* note);
bool NoteAlternateStream(const NoteFacts* facts, NoteWords* note);

// What the folder rules decide, for the rules of other files (lookup/module_notes):
// whether the user can add a file to the file's folder, and whether the file
// lies in the Windows folder itself or its System32 or SysWOW64.
bool IsInUserWritableFolder(const NoteFacts* facts);
bool IsInWindowsOrSystemFolder(const NoteFacts* facts);

// Every rule in the sheet's order.
void ListFileNotes(const NoteFacts* facts, FileNotes* notes);

// Whether a company and a signer name the same firm: their first words,
// ignoring case, a leading "The" and punctuation, are the same.
bool SameFirstWord(const wchar_t* company, const wchar_t* signer);
// The listed Windows program `name` looks like (one letter added, dropped,
// changed or swapped, or 0/o, 1/l/i, 5/s, rn/m); NULL when none, or when
// `name` is a listed name itself.
const wchar_t* FindLookAlikeProgram(const wchar_t* name);

