// What each row's process runs: its command line and its payload (services
// and their DLLs, the DLL, script or package a host's line names), read in
// the background on the reads' lane, one job per row, and each payload
// file's signer checked there afterwards. Window thread only, but for the
// jobs' work.
#pragma once
#include <windows.h>
#include "app/window_messages.h"
#include "app/process_list.h"

// Asks, for `window`, for the command line and payload of every row that has
// none asked yet.
void RequestRowPayloads(ProcessList* list, HWND window);
// WM_ROW_PAYLOAD_READ: the row of that job takes its payload, and its files'
// signers are asked for. The row, or NULL for an id of no job of ours.
ProcessRow* TakeRowPayload(ProcessList* list, HWND window, LPARAM id);
// WM_ROW_PAYLOAD_CHECKED: the row of that job takes its files' signers.
ProcessRow* TakePayloadSigners(ProcessList* list, HWND window, LPARAM id);
