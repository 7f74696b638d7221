// One whole lookup, as a click gives it: the executable's details read off
// the window thread, the address built and opened back on it.
#pragma once
#include <windows.h>
#include "core/lookup_url.h"

// Posted to the window a lookup answers to when its file is read; lParam is
// the lookup's id (core/background_jobs.h). The window hands it to
// OpenFinishedLookup.
#define WM_LOOKUP_FINISHED (WM_APP + 0x22)

// The address for the process name, with the details of its executable when
// its path is known (exePath NULL otherwise), opened in the browser.
// extended: the "SendExtendedInfo" switch as it reads at the click. Returns
// at once: the file is read on the lookups' lane, and the address is opened
// when resultWindow gets WM_LOOKUP_FINISHED. Without a resultWindow the
// whole lookup runs here. False when nothing was queued (shutdown has begun,
// no memory); a lookup for which no thread could be had opens nothing.
bool LookUpProcess(const wchar_t* name, const wchar_t* exePath, HWND resultWindow, bool extended);

// A file handed to us from outside ("/lookup", another copy, a drop), looked
// up as a process running it would be. Everything is done on the lookups'
// lane: the path is made full and canonical, refused when it names a device,
// and opened as a disk file before it is read. False when nothing was queued.
bool LookUpHandedFile(const wchar_t* path, HWND resultWindow, bool extended);

// Told, on the window's thread, of a handed file that could not be read.
typedef void (*UnreadableFileReport)(const wchar_t* path, DWORD error);

// WM_LOOKUP_FINISHED: opens the address of the finished lookup with that id
// posted to `window`; any other id is ignored (nothing opened). A handed file
// that could not be read (or found no thread to read it) opens nothing and
// goes to `report`.
AddressOpening OpenFinishedLookup(HWND window, LPARAM id, UnreadableFileReport report = NULL);

// True from the moment a lookup is queued until its address is opened.
bool IsLookupPending();
