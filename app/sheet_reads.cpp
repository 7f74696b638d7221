#include "app/sheet_reads.h"
#include "app/clipboard_copy.h"
#include "core/background_jobs.h"
#include "core/clipboard_text.h"

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

LONG QueueSheetRead(HWND window, UINT message, const ProcessRow* row)
{
    ProcessSheet* sheet = (ProcessSheet*)HeapAlloc(GetProcessHeap(), 0, sizeof(ProcessSheet));
    if (!sheet)
        return 0;
    StartProcessSheet(row->processId, row->imageName, sheet);
    sheet->expectedStart = row->createdAt;
    // The folder table is filled lazily; fill it here, before another thread reads it.
    if (!folderTableResolved)
        ResolveFolderTokens();
    JobRequest request = {LANE_READS, JOB_FIRST, window, message, ReadWholeSheet, ReleaseSheet, sheet};
    LONG id = QueueBackgroundJob(&request);
    if (!id)
        FreeSheet(sheet);
    return id;
}

ProcessSheet* TakeSheetRead(HWND window, UINT message, LPARAM id)
{
    return (ProcessSheet*)TakeFinishedJob(window, message, id);
}

bool CopySheetText(HWND owner, const ProcessSheet* sheet)
{
    wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, PROPERTY_SHEET_CAPACITY * sizeof(wchar_t));
    if (!text) {
        TellCopyFailed(owner);
        return false;
    }
    bool whole = FormatProcessSheet(sheet, text, PROPERTY_SHEET_CAPACITY);
    bool copied = CopyTextForPerson(owner, text, whole);
    HeapFree(GetProcessHeap(), 0, text);
    return copied;
}

// The latest copy asked for, and the clipboard as it was then: an older
// copy, or one whose clipboard was written meanwhile, is not put there.
static LONG latestCopy;
static DWORD clipboardAtCopy;

void CopyRowProperties(HWND window, const ProcessRow* row)
{
    if (!row)
        return;
    latestCopy = QueueSheetRead(window, WM_SHEET_COPY_READ, row);
    clipboardAtCopy = GetClipboardSequenceNumber();
    if (!latestCopy)
        TellCopyFailed(window);
}

void FinishRowPropertiesCopy(HWND window, LPARAM id)
{
    ProcessSheet* sheet = TakeSheetRead(window, WM_SHEET_COPY_READ, id);
    if (!sheet)
        return;
    if ((LONG)id == latestCopy && GetClipboardSequenceNumber() == clipboardAtCopy)
        CopySheetText(window, sheet);
    FreeSheet(sheet);
}
