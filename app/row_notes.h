// The Notes column of the Running Processes window: each row's notes on its
// process and file (lookup/file_notes), read by a background job per row on
// the reads' lane after its details and signer: "Changed after the process
// started" depends on the process, so two processes of one file may differ.
#pragma once
#include <windows.h>
#include "app/window_messages.h"
#include <commctrl.h>
#include "app/process_list.h"

// Asks, for `window`, for the notes of every row that has none asked yet.
void RequestRowNotes(ProcessList* list, HWND window);
// Fills in the row whose notes job has that id; false for an id of no
// finished job of ours, or when the row is gone.
bool TakeRowNotes(HWND window, LPARAM id, ProcessList* list);
// The notes on each row's parent ("Started by winword.exe, a document
// program"; "..., which has notes"), added once each, as the parents' own
// notes arrive; false when no row took a new one.
bool NoteRowParents(ProcessList* list);
// The name's tooltip: every note of the row with what it means, after what
// FillRowTip wrote.
void AppendRowNotesTip(const ProcessList* rows, NMLVGETINFOTIPW* tip);
// "Notes:", then "- <note>" for each line of `notes` and under it, indented,
// the explanation of its text id (`texts`, one per line while they last).
void AppendExplainedNotes(const wchar_t* notes, const UINT* texts, int textCount, wchar_t* tip, size_t capacity);
