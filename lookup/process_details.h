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
// The same for a path that is read as it is given (a long "\\?\" path among them).
void ReadExecutableDetailsAt(const wchar_t* readable, FingerprintCache* cache, const volatile LONG* stop,
                             ExecutableDetails* details);
void FreeExecutableDetails(ExecutableDetails* details);

// Appends the parameters of details read before; path is the full path (of
// any length), cut here to its directory. extended: the switch
// "SendExtendedInfo". False when the folder or a digest could not be sent
// whole: the address would then pass for another file's.
bool AppendExecutableDetails(wchar_t* path, const ExecutableDetails* details, bool extended, LookupUrl* url);

// The whole query at once: reads, appends, frees.
bool AppendProcessDetails(wchar_t* path /* MAX_PATH, cut to its directory */, bool extended, LookupUrl* url);
