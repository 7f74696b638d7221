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
// or no thread could be had).
bool LookUpProcess(const wchar_t* name, const wchar_t* exePath, HWND resultWindow, bool extended);

// WM_LOOKUP_FINISHED: opens the address of the finished lookup with that id
// posted to `window`; any other id is ignored (nothing opened).
AddressOpening OpenFinishedLookup(HWND window, LPARAM id);

// True from the moment a lookup is queued until its address is opened.
bool IsLookupPending();
