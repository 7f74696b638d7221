// A process's whole Properties sheet read on the reads' lane (first in turn:
// a person waits for it), for the Properties window and for Ctrl+C in the
// Running Processes window, and its text put on the clipboard.
#pragma once
#include <windows.h>
#include "app/window_messages.h"
#include "app/process_list.h"
#include "lookup/process_sheet.h"

// Queues the read of the row's process's whole sheet for `window`; the id
// the message will carry, or 0 when nothing was queued.
LONG QueueSheetRead(HWND window, UINT message, const ProcessRow* row);
// The sheet of that finished job, the caller's to free with FreeSheet; NULL
// for an id of no finished job of ours. A job no thread could run gives its
// sheet unread, readsAbandoned set.
ProcessSheet* TakeSheetRead(HWND window, UINT message, LPARAM id);
void FreeSheet(ProcessSheet* sheet);

// Replaces the clipboard's contents with the sheet's text; in English, its
// labels and notes too, for a forum in another language than the program's;
// `explained`: with the notes' explanations, as the Properties window shows it.
bool CopySheetText(HWND owner, const ProcessSheet* sheet, bool english = false, bool explained = false);

// A window's copy under way: the latest asked for, and the clipboard as it was then.
struct SheetCopy {
    LONG latest;
    DWORD clipboardAtCopy;
    bool english;
};

// Ctrl+C and "Copy Properties": the row's sheet is read, and copied when it
// arrives, unless another copy was asked for or the clipboard written meanwhile.
void CopyRowProperties(HWND window, SheetCopy* copy, const ProcessRow* row, bool english = false);
// WM_SHEET_COPY_READ in that window.
void FinishRowPropertiesCopy(HWND window, const SheetCopy* copy, LPARAM id);
