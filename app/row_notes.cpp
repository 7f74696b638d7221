#include "app/row_notes.h"
#include <strsafe.h>
#include "core/background_jobs.h"
#include "core/program_text.h"
#include "lookup/module_reads.h"
#include "lookup/parent_notes.h"
#include "lookup/process_sheet.h"
#include "resource.h"

struct NotesJob {
    DWORD processId;
    wchar_t imageName[MAX_PATH];
    wchar_t exePath[PROCESS_PATH_CAPACITY];  // as the kernel gave it for the row
    unsigned long long startTime;  // of the process read, to pass over a PID taken by a newer one
    int count;
    bool modulesUnverified;  // a module with a note does not verify
    wchar_t cell[ROW_NOTES_CELL_CAPACITY];
    wchar_t notes[ROW_NOTES_CAPACITY];
    int textCount;
    UINT texts[ROW_NOTE_TEXTS];
};

// A note that would not fit is left out whole; the count says how many there are.
static void AppendNote(NotesJob* job, const wchar_t* note, UINT textId)
{
    ++job->count;
    if (job->count == 1)
        StringCchCopyW(job->cell, ARRAYSIZE(job->cell), note);
    size_t length = wcslen(job->notes);
    if (length + wcslen(note) + 2 > ARRAYSIZE(job->notes))
        return;
    StringCchPrintfW(job->notes + length, ARRAYSIZE(job->notes) - length, length ? L"\n%s" : L"%s", note);
    if (job->textCount < ROW_NOTE_TEXTS)
        job->texts[job->textCount++] = textId;
}

// One note per module with notes, at most three: "Loads x.dll, which <its first note>".
static void AppendModuleNotes(NotesJob* job, const ProcessSheet* sheet)
{
    const SignerCheck* signer = &sheet->signer;
    bool verifies = sheet->signerRead && signer->verdict == SIGNER_VERIFIED;
    ProcessModuleNotes modules;
    ReadRowModuleNotes(job->processId, job->startTime, job->exePath, verifies ? signer->signer : NULL, &modules);
    for (int i = 0; i < modules.notedCount && i < ROW_MODULE_NOTES; ++i) {
        const NotedModule* module = &modules.noted[i];
        job->modulesUnverified = job->modulesUnverified || module->unverified;
        wchar_t first[NOTE_TEXT_CAPACITY], note[NOTE_TEXT_CAPACITY + MAX_PATH + 32];
        StringCchCopyW(first, ARRAYSIZE(first), module->notes.text[0]);
        CharLowerBuffW(first, 1);
        if (FormatProgramText(note, ARRAYSIZE(note), IDS_ROW_NOTE_LOADS, module->path + module->nameOffset, first))
            AppendNote(job, note, module->notes.words[0].textId);
    }
    FreeProcessModuleNotes(&modules);
}

static void ReadNotes(void* record, const volatile LONG* stop)
{
    NotesJob* job = (NotesJob*)record;
    ProcessSheet* sheet = (ProcessSheet*)HeapAlloc(GetProcessHeap(), 0, sizeof(ProcessSheet));
    if (!sheet)
        return;
    StartProcessSheet(job->processId, job->imageName, sheet);
    ReadProcessSheet(sheet, false, stop);
    job->startTime = sheet->process.startTime;
    const FileNotes* notes = &sheet->notes;
    for (int i = 0; sheet->notesRead && i < notes->count && i < FILE_NOTE_RULES; ++i)
        AppendNote(job, notes->text[i], notes->words[i].textId);
    if (sheet->process.found && !*stop)
        AppendModuleNotes(job, sheet);
    if (job->count > 0) {
        wchar_t first[ROW_NOTES_CELL_CAPACITY];
        StringCchCopyW(first, ARRAYSIZE(first), job->cell);
        StringCchPrintfW(job->cell, ARRAYSIZE(job->cell), L"%d: %s", job->count, first);
    }
    FreeProcessSheet(sheet);
    HeapFree(GetProcessHeap(), 0, sheet);
}

static void FreeRecord(void* record)
{
    HeapFree(GetProcessHeap(), 0, record);
}

static LONG QueueNotes(const ProcessRow* row, HWND window)
{
    NotesJob* job = (NotesJob*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(NotesJob));
    if (!job)
        return 0;
    job->processId = row->processId;
    StringCchCopyW(job->imageName, ARRAYSIZE(job->imageName), row->imageName);
    StringCchCopyW(job->exePath, ARRAYSIZE(job->exePath), row->exePath);
    // After the rows' details and signers: those fill columns every row has.
    return QueueWindowJob(window, WM_ROW_NOTES_READ, LANE_READS, JOB_LATER, ReadNotes, FreeRecord, job);
}

void RequestRowNotes(ProcessList* list, HWND window)
{
    // The folder table is filled lazily; fill it here, before another thread reads it.
    if (!folderTableResolved)
        ResolveFolderTokens();
    for (int i = 0; i < list->rowCount; ++i) {
        ProcessRow* row = list->rows[i];
        if (row->notesAsked)
            continue;
        row->notesAsked = true;
        // No file, nothing to note: the system's own pseudo-processes.
        if (row->hasPath)
            row->notesId = QueueNotes(row, window);
    }
}

// `count` notes, one a line, after the row's others; the cell tells the
// first of them all.
static void AddNotesOfParent(ProcessRow* row, const wchar_t* notes, const UINT* texts, int count)
{
    if (count <= 0)
        return;
    size_t length = wcslen(row->notes);
    if (length + wcslen(notes) + 2 <= ARRAYSIZE(row->notes)) {
        StringCchPrintfW(row->notes + length, ARRAYSIZE(row->notes) - length, length ? L"\n%s" : L"%s", notes);
        for (int i = 0; i < count && row->noteTextCount < ROW_NOTE_TEXTS; ++i)
            row->noteTexts[row->noteTextCount++] = texts[i];
    }
    row->noteCount += count;
    const wchar_t* end = wcschr(row->notes, L'\n');
    size_t first = end ? (size_t)(end - row->notes) : wcslen(row->notes);
    StringCchPrintfW(row->notesCell, ARRAYSIZE(row->notesCell), L"%d: %.*s", row->noteCount, (int)first, row->notes);
}

static bool AddParentNote(ProcessRow* row, const NoteWords* words)
{
    wchar_t note[NOTE_TEXT_CAPACITY];
    size_t length = wcslen(row->parentNotes);
    if (row->parentNoteCount >= ROW_PARENT_NOTES || !FormatNoteWords(words, note, ARRAYSIZE(note)) ||
        length + wcslen(note) + 2 > ARRAYSIZE(row->parentNotes))
        return false;
    StringCchPrintfW(row->parentNotes + length, ARRAYSIZE(row->parentNotes) - length, length ? L"\n%s" : L"%s",
                     note);
    row->parentNoteTexts[row->parentNoteCount++] = words->textId;
    AddNotesOfParent(row, note, &words->textId, 1);
    return true;
}

// A parent's notes, but for its own "which has notes": that alone would pass
// one note down every generation.
static bool HasNotesOfItsOwn(const ProcessRow* parent)
{
    return parent->noteCount - (parent->notedParentNoted ? 1 : 0) > 0;
}

static bool NoteParentOf(ProcessList* list, ProcessRow* row)
{
    const ProcessRow* parent = row->parentRow;
    NoteWords note;
    bool added = false;
    // The names never change: which programs they are is asked once a row.
    if (!row->documentParentChecked) {
        row->documentParentChecked = true;
        if (NoteDocumentParent(parent->imageName, row->imageName, &note))
            added = row->documentParentNoted = AddParentNote(row, &note);
    }
    if (!row->notedParentNoted && HasNotesOfItsOwn(parent) && NoteNotedParent(parent->imageName, &note))
        added = (row->notedParentNoted = AddParentNote(row, &note)) || added;
    if (added)
        MarkRowChanged(list, row);
    return added;
}

bool NoteRowParents(ProcessList* list)
{
    bool any = false;
    // A note added to a parent may give its children theirs: again until none is.
    for (bool added = true; added;) {
        added = false;
        for (int i = 0; i < list->rowCount; ++i) {
            if (list->rows[i]->parentRow)
                added = NoteParentOf(list, list->rows[i]) || added;
        }
        any = any || added;
    }
    return any;
}

bool TakeRowNotes(HWND window, LPARAM id, ProcessList* list)
{
    // Unread notes are none known: the row's cell stays empty instead of waiting.
    bool ran = false;
    NotesJob* job = (NotesJob*)TakeJobResult(window, WM_ROW_NOTES_READ, id, &ran);
    if (!job)
        return false;
    bool filled = false;
    for (int i = 0; i < list->rowCount && !filled; ++i) {
        ProcessRow* row = list->rows[i];
        if (row->notesId != (LONG)id)
            continue;
        row->notesId = 0;
        if (row->createdAt && job->startTime && row->createdAt != job->startTime)
            break;
        row->noteCount = job->count;
        row->modulesUnverified = job->modulesUnverified;
        StringCchCopyW(row->notesCell, ARRAYSIZE(row->notesCell), job->cell);
        StringCchCopyW(row->notes, ARRAYSIZE(row->notes), job->notes);
        row->noteTextCount = job->textCount;
        CopyMemory(row->noteTexts, job->texts, sizeof(row->noteTexts));
        // Its parent's notes may have come first.
        AddNotesOfParent(row, row->parentNotes, row->parentNoteTexts, row->parentNoteCount);
        MarkRowChanged(list, row);
        filled = true;
    }
    HeapFree(GetProcessHeap(), 0, job);
    return filled;
}

void AppendExplainedNotes(const wchar_t* notes, const UINT* texts, int textCount, wchar_t* tip, size_t capacity)
{
    wchar_t heading[32], explanation[NOTE_TEXT_CAPACITY];
    if (LoadProgramText(IDS_SHEET_NOTES_HEADING, heading, ARRAYSIZE(heading))) {
        StringCchCatW(tip, capacity, L"\n");
        StringCchCatW(tip, capacity, heading);
    }
    for (int line = 0; *notes; ++line) {
        const wchar_t* end = wcschr(notes, L'\n');
        size_t length = end ? (size_t)(end - notes) : wcslen(notes);
        StringCchCatW(tip, capacity, L"\n- ");
        StringCchCatNW(tip, capacity, notes, length);
        UINT id = line < textCount ? FindNoteExplanation(texts[line]) : 0;
        if (id && LoadProgramText(id, explanation, ARRAYSIZE(explanation))) {
            StringCchCatW(tip, capacity, L"\n    ");
            StringCchCatW(tip, capacity, explanation);
        }
        notes += length + (end ? 1 : 0);
    }
}

void AppendRowNotesTip(const ProcessList* rows, NMLVGETINFOTIPW* tip)
{
    const ProcessRow* row = tip->iSubItem == 0 ? ShownRow(rows, tip->iItem) : NULL;
    if (!row || row->noteCount <= 0 || !tip->pszText || tip->cchTextMax <= 0)
        return;
    AppendExplainedNotes(row->notes, row->noteTexts, row->noteTextCount, tip->pszText, tip->cchTextMax);
}
