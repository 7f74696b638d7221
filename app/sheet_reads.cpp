#include "app/sheet_reads.h"
#include <strsafe.h>
#include <wchar.h>
#include "app/clipboard_copy.h"
#include "core/background_jobs.h"
#include "core/clipboard_text.h"
#include "core/program_language.h"

// The clipboard takes any sheet whole.
static_assert(PROPERTY_SHEET_CAPACITY <= CLIPBOARD_TEXT_CAPACITY, "a sheet longer than the clipboard takes");

static void ReadWholeSheet(void* record, const volatile LONG* stop)
{
    ReadProcessSheet((ProcessSheet*)record, true, stop);
}

static void ReleaseSheet(void* record)
{
    FreeSheet((ProcessSheet*)record);
}

void FreeSheet(ProcessSheet* sheet)
{
    if (!sheet)
        return;
    FreeProcessSheet(sheet);
    HeapFree(GetProcessHeap(), 0, sheet);
}

// The row's notes on its parent, one a line, as the window found them.
static void CopyRowParentNotes(const ProcessRow* row, ParentNotes* notes)
{
    notes->count = 0;
    for (const wchar_t* note = row->parentNotes; *note && notes->count < PARENT_NOTE_RULES;) {
        const wchar_t* end = wcschr(note, L'\n');
        size_t length = end ? (size_t)(end - note) : wcslen(note);
        StringCchCopyNW(notes->text[notes->count++], NOTE_TEXT_CAPACITY, note, length);
        note += length + (end ? 1 : 0);
    }
}

LONG QueueSheetRead(HWND window, UINT message, const ProcessRow* row)
{
    ProcessSheet* sheet = (ProcessSheet*)HeapAlloc(GetProcessHeap(), 0, sizeof(ProcessSheet));
    if (!sheet)
        return 0;
    StartProcessSheet(row->processId, row->imageName, sheet);
    sheet->expectedStart = row->createdAt;
    CopyRowParentNotes(row, &sheet->parentNotes);
    // The folder table is filled lazily; fill it here, before another thread reads it.
    if (!folderTableResolved)
        ResolveFolderTokens();
    return QueueWindowJob(window, message, LANE_READS, JOB_FIRST, ReadWholeSheet, ReleaseSheet, sheet);
}

ProcessSheet* TakeSheetRead(HWND window, UINT message, LPARAM id)
{
    bool ran = false;
    ProcessSheet* sheet = (ProcessSheet*)TakeJobResult(window, message, id, &ran);
    if (sheet && !ran)
        sheet->readsAbandoned = true;
    return sheet;
}

bool CopySheetText(HWND owner, const ProcessSheet* sheet, bool english, bool explained)
{
    wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, PROPERTY_SHEET_CAPACITY * sizeof(wchar_t));
    if (!text) {
        TellCopyFailed(owner);
        return false;
    }
    LANGID before = english ? SetThreadTextLanguage(SHEET_ENGLISH) : 0;
    bool whole = explained ? FormatExplainedProcessSheet(sheet, text, PROPERTY_SHEET_CAPACITY)
                           : FormatProcessSheet(sheet, text, PROPERTY_SHEET_CAPACITY);
    if (english)
        SetThreadTextLanguage(before);
    bool copied = CopyTextForPerson(owner, text, whole);
    HeapFree(GetProcessHeap(), 0, text);
    return copied;
}

void CopyRowProperties(HWND window, SheetCopy* copy, const ProcessRow* row, bool english)
{
    if (!row)
        return;
    copy->english = english;
    copy->latest = QueueSheetRead(window, WM_SHEET_COPY_READ, row);
    copy->clipboardAtCopy = GetClipboardSequenceNumber();
    if (!copy->latest)
        TellCopyFailed(window);
}

void FinishRowPropertiesCopy(HWND window, const SheetCopy* copy, LPARAM id)
{
    ProcessSheet* sheet = TakeSheetRead(window, WM_SHEET_COPY_READ, id);
    if (!sheet)
        return;
    // An older copy, or one whose clipboard was written meanwhile, is not put there.
    if ((LONG)id == copy->latest && GetClipboardSequenceNumber() == copy->clipboardAtCopy) {
        if (sheet->readsAbandoned)
            TellCopyFailed(window);
        else
            CopySheetText(window, sheet, copy->english);
    }
    FreeSheet(sheet);
}
