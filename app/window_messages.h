// The program's own window messages, every one of app/ in one list so that
// no two share a number. A message that carries a job's id as lParam is
// taken back through core/background_jobs.h by that id; the lookup layer's
// WM_LOOKUP_FINISHED (WM_APP + 0x22) is its own.
#pragma once
#include <windows.h>
#include "tavrowen_identity.h"

// The tray icon's notifications (lParam: the mouse or key event).
#define WM_TRAY_CALLBACK (WM_APP + 0x20)
// Another copy or the installer asks the running program to end.
#define WM_SHUTDOWN_REQUEST TAVROWEN_SHUTDOWN_MESSAGE
// A row's file details, and its signer, read (app/row_details).
#define WM_ROW_DETAILS_READ (WM_APP + 0x24)
#define WM_ROW_SIGNER_CHECKED (WM_APP + 0x25)
// Sent to the finder's parent when a window's process is found; wParam: its PID.
#define WM_FINDER_FOUND_PROCESS (WM_APP + 0x26)
// A row's command line and payload read, then its payload's signers (app/row_payloads).
#define WM_ROW_PAYLOAD_READ (WM_APP + 0x28)
#define WM_ROW_PAYLOAD_CHECKED (WM_APP + 0x29)
// A row's notes read (app/row_notes).
#define WM_ROW_NOTES_READ (WM_APP + 0x30)
// A whole sheet read, for a Properties window and for a copy (app/sheet_reads).
#define WM_SHEET_READ (WM_APP + 0x31)
#define WM_SHEET_COPY_READ (WM_APP + 0x32)
// The startup entries read, then one entry's evidence (app/startup_window).
#define WM_STARTUP_ENTRIES_READ (WM_APP + 0x40)
#define WM_STARTUP_EVIDENCE_READ (WM_APP + 0x41)
// A Properties window's modules read (app/module_list).
#define WM_MODULES_READ (WM_APP + 0x50)
