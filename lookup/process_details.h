// Appends the located executable's details to a lookup address.
#pragma once
#include <windows.h>
#include "lookup/lookup_url.h"

bool AppendProcessDetails(wchar_t* path /* MAX_PATH, cut to its directory */, LookupUrl* url);
