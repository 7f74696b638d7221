// A note as its rule wrote it: the string table's text and the values it
// names, never finished words, so the note is worded in the language of
// wherever it is shown (English in a report), and its explanation found.
#pragma once
#include <windows.h>

const int NOTE_TEXT_CAPACITY = 520;
// What a sheet copied "in English" and a report are written in.
const LANGID SHEET_ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const int NOTE_ARGUMENTS = 2;
const int NOTE_ARGUMENT_CAPACITY = MAX_PATH;

struct NoteWords {
    UINT textId;  // 0: none
    wchar_t args[NOTE_ARGUMENTS][NOTE_ARGUMENT_CAPACITY];
};

// The note's text and values (NULL: none); a value too long is cut, never
// the note left out. Always true, for the rules' returns.
bool SetNoteWords(NoteWords* note, UINT textId, const wchar_t* first = NULL, const wchar_t* second = NULL);
// Whether a value fits a note whole.
bool FitsNoteArgument(const wchar_t* value);
// The note in the thread's language, its control characters blanked; a long
// value cuts the text. False when the table has no such text.
bool FormatNoteWords(const NoteWords* note, wchar_t* text, size_t capacity);
// A kept note in the thread's language: from its words, else (a note with
// no id) as it was worded.
void FormatKeptNote(const NoteWords* words, const wchar_t* worded, wchar_t* text, size_t capacity);
// The text id of what a note means and what a person can do; 0: none.
UINT FindNoteExplanation(UINT textId);
// The text id of every note in turn, from index 0; 0 past the last.
UINT ListedNoteText(int index);

// What follows a path's last \ or /.
const wchar_t* FileNameInPath(const wchar_t* path);
