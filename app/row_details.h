// What the Running Processes window shows of a row's file (description,
// company, folder, icon and verified signer), read in the background on the
// reads' lane: an executable on a hung network share or behind a held oplock
// must not freeze the window, and with it the tray. Lookups have a lane of
// their own, so a hung read here never holds up a click either.
#pragma once
#include <windows.h>
#include "app/window_messages.h"
#include "app/process_list.h"

// Asks, for `window`, for the reads of every row that has none yet: its
// details, and its signer check, which waits until every row's details are
// read. The rows of one path share one details read: it describes the file
// at that path now. Each row checks its own signer: two processes of one
// path may run two different files, and the signer cache (keyed by the
// file's identity) spares the second check of the same one. checkingText:
// what the signer cell says meanwhile.
void RequestRowReads(ProcessList* list, HWND window, const wchar_t* checkingText);

// The details or signer read for that id, sent to `window`, taken and
// forgotten; false for an id of no finished job of ours.
bool TakeRowDetails(HWND window, LPARAM id, RowDetails* details);
// changed: the file was written or changed after the row's process started,
// so what was checked may not be the image that runs.
bool TakeRowSigner(HWND window, LPARAM id, SignerCheck* check, bool* changed);

// Whether any read is queued, under way, or read and not yet taken.
bool AreRowDetailsPending();
