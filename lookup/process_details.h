// Appends the located executable's details to a lookup address.
#pragma once
#include <windows.h>
#include "core/file_fingerprint.h"
#include "core/lookup_url.h"
#include "core/version_info.h"

// What a details query reads from the executable itself.
struct ExecutableDetails {
    VersionInfoBlock version;
    FileFingerprint fingerprint;
};

// The file work of a details query (version block and fingerprint of the
// file at the full path); runs on any thread. cache and stop as for
// ComputeCachedFingerprint. The holder frees the result with
// FreeExecutableDetails.
void ReadExecutableDetails(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop,
                           ExecutableDetails* details);
void FreeExecutableDetails(ExecutableDetails* details);

// Appends the parameters of details read before; path is the full path,
// cut here to its directory. extended: the switch "SendExtendedInfo".
void AppendExecutableDetails(wchar_t* path /* MAX_PATH */, const ExecutableDetails* details, bool extended,
                             LookupUrl* url);

// The whole query at once: reads, appends, frees.
bool AppendProcessDetails(wchar_t* path /* MAX_PATH, cut to its directory */, bool extended, LookupUrl* url);
