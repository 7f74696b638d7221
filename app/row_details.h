// What the Running Processes window shows of a row's file (description,
// company, folder, icon and verified signer), read on a thread of its own: an executable on a
// hung network share or behind a held oplock must not freeze the window, and
// with it the tray. Lookups keep their own worker, so a hung read here never
// holds up a click either.
#pragma once
#include <windows.h>
#include "core/folder_tokens.h"
#include "core/signer_check.h"
#include "core/version_info.h"

// Posted to the window that asked, when a file's details are read; lParam is
// the request's id, never a pointer: any process of our integrity can post
// this message. The window takes the details with TakeRowDetails.
#define WM_ROW_DETAILS_READ (WM_APP + 0x24)
// Likewise when a file's signer is checked; taken with TakeRowSigner.
#define WM_ROW_SIGNER_CHECKED (WM_APP + 0x25)

struct RowDetails {
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
    int iconIndex;  // in the system's small image list; -1 when the shell gave none
};

// Queues the reading of the file at `exePath` for `window`, starting the
// reader thread if need be; it reads from StartReadingRowDetails on. Returns
// the id WM_ROW_DETAILS_READ will carry, or 0 when nothing could be queued.
LONG RequestRowDetails(const wchar_t* exePath, HWND window);

// Copies out the details read for that id and forgets them; false for an id
// of no finished request of ours.
bool TakeRowDetails(LPARAM id, RowDetails* details);

// Queues the check of the file's signer, taken up only while no details wait:
// every row is described before any file is verified. The checks are kept
// for the program's life and reused until their file changes.
LONG RequestRowSigner(const wchar_t* exePath, HWND window);
bool TakeRowSigner(LPARAM id, SignerCheck* check);

// Sets the reader to the requests queued so far. The window calls it once its
// rows are shown: the reader's file work, DLL loading above all, would
// otherwise slow the listing it follows.
void StartReadingRowDetails();

// The window is closing: its queued requests are dropped unread, its finished
// ones freed, and the one being read is freed when the read returns.
void CancelRowDetails(HWND window);

// Whether any request is queued, being read, or read and not yet taken.
bool AreRowDetailsPending();
