// The Properties window of one process: its sheet (lookup/process_sheet) as
// selectable text, read in the background, with "Look Up on Kestrava",
// "Open File Location", "Copy" and "Close". One window per process, owned by
// the Running Processes window (it closes with it); window thread only.
#pragma once
#include <windows.h>
#include "app/process_list.h"

// Opens the row's window, or brings the one open for its process to the front.
HWND ShowPropertiesWindow(HWND owner, const ProcessRow* row);
// The main loop's keyboard handling for the Properties windows (Tab, Esc):
// true when the message was handled here.
bool HandlePropertiesWindowMessage(MSG* message);
