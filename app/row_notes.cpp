#include "app/row_notes.h"
#include <strsafe.h>
#include "core/background_jobs.h"
#include "lookup/process_sheet.h"

struct NotesJob {
    DWORD processId;
    wchar_t imageName[MAX_PATH];
    unsigned long long startTime;  // of the process read, to pass over a PID taken by a newer one
    int count;
    wchar_t cell[ROW_NOTES_CELL_CAPACITY];
    wchar_t notes[ROW_NOTES_CAPACITY];
};

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
    job->count = sheet->notesRead ? notes->count : 0;
    if (job->count > 0)
        StringCchPrintfW(job->cell, ARRAYSIZE(job->cell), L"%d: %s", job->count, notes->text[0]);
    // A note that would not fit is left out whole; the count says how many there are.
    for (int i = 0; i < job->count && i < FILE_NOTE_RULES; ++i) {
        size_t length = wcslen(job->notes);
        if (length + wcslen(notes->text[i]) + 2 > ARRAYSIZE(job->notes))
            break;
        StringCchPrintfW(job->notes + length, ARRAYSIZE(job->notes) - length, i ? L"\n%s" : L"%s", notes->text[i]);
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
        StringCchCopyW(row->notesCell, ARRAYSIZE(row->notesCell), job->cell);
        StringCchCopyW(row->notes, ARRAYSIZE(row->notes), job->notes);
        filled = true;
    }
    HeapFree(GetProcessHeap(), 0, job);
    return filled;
}

void AppendRowNotesTip(const ProcessList* rows, NMLVGETINFOTIPW* tip)
{
    const ProcessRow* row = tip->iSubItem == 0 ? ShownRow(rows, tip->iItem) : NULL;
    if (!row || row->noteCount <= 0 || !tip->pszText || tip->cchTextMax <= 0)
        return;
    StringCchCatW(tip->pszText, tip->cchTextMax, L"\nNotes:");
    for (const wchar_t* note = row->notes; *note;) {
        const wchar_t* end = wcschr(note, L'\n');
        size_t length = end ? (size_t)(end - note) : wcslen(note);
        StringCchCatW(tip->pszText, tip->cchTextMax, L"\n- ");
        StringCchCatNW(tip->pszText, tip->cchTextMax, note, length);
        note += length + (end ? 1 : 0);
    }
}
