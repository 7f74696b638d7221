// Notes on the process that started another: a document or mail program
// starting a script host or shell, and a parent that has notes of its own.
// Pure functions of the two image names, any thread; the texts are the
// string table's (lookup/note_words).
#pragma once
#include <windows.h>
#include "lookup/note_words.h"
#include "lookup/file_notes.h"

// A process's notes on its parent, for its sheet and its report: at most
// the two below, each NOTE_TEXT_CAPACITY.
const int PARENT_NOTE_RULES = 2;
struct ParentNotes {
    int count;
    wchar_t text[PARENT_NOTE_RULES][NOTE_TEXT_CAPACITY];
};

// "Started by <parent>, a document program" when `parent` is a word
// processor, spreadsheet, presentation, PDF reader or mail client and
// `child` a script host or shell; false otherwise.
bool NoteDocumentParent(const wchar_t* parent, const wchar_t* child, NoteWords* note);
// "Started by <parent>, which has notes".
bool NoteNotedParent(const wchar_t* parent, NoteWords* note);
