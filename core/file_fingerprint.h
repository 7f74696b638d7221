// A file's MD5 digest and size (and SHA-256 when asked), and the few
// fingerprints recently read.
#pragma once
#include <windows.h>

struct FileFingerprint {
    wchar_t digestHex[33];
    wchar_t sha256Hex[65];  // empty unless asked for
    unsigned long long size;
    bool valid;
};

const int FINGERPRINT_CACHE_ENTRIES = 64;

// What tells one content of a file from another without reading it: size
// and last-write time, which anyone may set back, the file's volume and
// index, and its change time (Vista and later), which no write can keep.
struct FileIdentity {
    unsigned long long size;
    FILETIME lastWrite;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    LONGLONG changeTime;  // 0 where the system does not say
    LONGLONG usn;         // the file's last change in the volume's journal; 0 without one (FAT, no journal)
};

// The identity of the file `file` is open on (through seams.fileInformation);
// false, and all zero, when the system cannot say.
bool ReadFileIdentity(HANDLE file, FileIdentity* identity);
bool SameFileIdentity(const FileIdentity* a, const FileIdentity* b);
// Whether what was learnt of the file at `path` may be kept: a journal
// tells each change of it, or else it lies under the Windows folder or a
// Program Files folder, where only administrators write. Elsewhere its owner
// could patch it in place and set back every time and size we compare.
bool MayRememberFile(const wchar_t* path, const FileIdentity* identity);

// A fingerprint as it was read, with its full path (letters A to Z folded)
// and the file's identity then.
struct CachedFingerprint {
    wchar_t path[MAX_PATH];
    FileIdentity identity;
    wchar_t digestHex[33];
    wchar_t sha256Hex[65];  // empty when the read that filled the entry did not ask for it
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

// The same, answered from `cache` when the file's identity is the one
// remembered (cache NULL: no cache). While another thread sets
// *stop to non-zero, reading ends at the next read and the fingerprint is
// not valid (stop NULL: never).
void ComputeCachedFingerprint(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop,
                              FileFingerprint* fingerprint);

// The same, with the SHA-256 digest too when withSha256: both digests are fed
// from the one read of the file. A cached entry without SHA-256 is read again.
void ComputeFileDigests(const wchar_t* path, FingerprintCache* cache, const volatile LONG* stop, bool withSha256,
                        FileFingerprint* fingerprint);
