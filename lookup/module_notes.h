// Notes on a module loaded into a process: plain facts, each in the string
// table's words. Pure functions of a facts record, as the file notes are
// (lookup/file_notes), whose folder and name rules they share.
#pragma once
#include <windows.h>
#include "lookup/file_notes.h"

const int MODULE_NOTE_RULES = 7;
const int KNOWN_LIBRARY_LIMIT = 128;
const int KNOWN_LIBRARY_NAME_CAPACITY = 64;

// The system's KnownDLLs as its registry lists them (file names only).
struct KnownLibraryNames {
    int count;
    wchar_t names[KNOWN_LIBRARY_LIMIT][KNOWN_LIBRARY_NAME_CAPACITY];
};

struct ModuleNoteFacts {
    // The module's file as the file rules see it: path, folder with tokens,
    // the module's own signer, its times and the process's start, the folders.
    NoteFacts file;
    bool inLoaderList;                      // false: an image section the loader does not list
    const wchar_t* programSigner;           // the executable's verified signer; NULL or empty: it does not verify
    const KnownLibraryNames* knownLibraries;  // NULL: the fixed list alone
};

struct ModuleNotes {
    int count;
    wchar_t text[MODULE_NOTE_RULES][NOTE_TEXT_CAPACITY];
    NoteWords words[MODULE_NOTE_RULES];
};

typedef bool (*ModuleNoteRule)(const ModuleNoteFacts* facts, NoteWords* note);

bool NoteModuleWritableFolder(const ModuleNoteFacts* facts, NoteWords* note);
bool NoteModuleWindowsLibraryName(const ModuleNoteFacts* facts, NoteWords* note);
bool NoteModuleUnsignedInSignedProgram(const ModuleNoteFacts* facts, NoteWords* note);
bool NoteModuleChangedAfterStart(const ModuleNoteFacts* facts, NoteWords* note);
bool NoteModuleNotInLoaderList(const ModuleNoteFacts* facts, NoteWords* note);
bool NoteModuleDoubleExtension(const ModuleNoteFacts* facts, NoteWords* note);
bool NoteModuleHiddenCharacters(const ModuleNoteFacts* facts, NoteWords* note);

// The Windows library `name` (a file name) is named after: one of the fixed
// list's or of `known`'s (NULL: the fixed list alone); NULL when none.
const wchar_t* FindWindowsLibraryName(const wchar_t* name, const KnownLibraryNames* known);

// Every rule in the sheet's order.
void ListModuleNotes(const ModuleNoteFacts* facts, ModuleNotes* notes);
