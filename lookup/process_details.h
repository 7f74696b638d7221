// Appends the located executable's details to a lookup address.
#pragma once
#include <windows.h>
#include "lookup/lookup_url.h"

bool AppendProcessDetails(wchar_t* path /* MAX_PATH, cut to its directory */, LookupUrl* url);

// One whole lookup, as a click gives it: the address for the process name,
// with the details of its executable when its path is known (exePath NULL
// otherwise), opened in the browser.
void LookUpProcess(const wchar_t* name, const wchar_t* exePath);
