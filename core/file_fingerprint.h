// A file's MD5 digest and size, and the few fingerprints recently read.
#pragma once
#include <windows.h>

struct FileFingerprint {
    wchar_t digestHex[33];
    unsigned long long size;
    bool valid;
};

const int FINGERPRINT_CACHE_ENTRIES = 64;

// A fingerprint as it was read, with what identifies the file's content:
// its full path (letters A to Z folded), size and last-write time.
struct CachedFingerprint {
    wchar_t path[MAX_PATH];
    unsigned long long size;
    FILETIME lastWrite;
    wchar_t digestHex[33];
    unsigned long long lastUse;
};

// The last FINGERPRINT_CACHE_ENTRIES fingerprints; the least recently used
// goes first. Zero-filled is empty. Not locked: one thread uses it.
struct FingerprintCache {
    CachedFingerprint entries[FINGERPRINT_CACHE_ENTRIES];
    int count;
    unsigned long long useClock;
};

// Reads the whole file. valid only when every byte was read; size from the
// file system, or the bytes hashed when it cannot say.
void ComputeFileFingerprint(const wchar_t* path, FileFingerprint* fingerprint);

// The same, answered from `cache` when the file's size and last-write time
// are those remembered (cache NULL: no cache). While another thread sets
// *stop to non-zero, reading ends at the next read and the fingerprint is
// not valid (stop NULL: never).
void ComputeCachedFingerprint(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop,
                              FileFingerprint* fingerprint);
