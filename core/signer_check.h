// Who signed a file, as this computer vouches for it: the file's own
// Authenticode signature, or else its entry in a system catalog, checked
// without going online (no revocation, cached URLs only).
#pragma once
#include <windows.h>
#include "core/file_fingerprint.h"
#include "core/seam_types.h"

const int SIGNER_CACHE_ENTRIES = 512;
// Larger files are checked for a signature of their own only: hashing them
// for the catalogs would cost more than the answer is worth.
const unsigned long long SIGNER_CATALOG_SIZE_LIMIT = 64ull * 1024 * 1024;

// Where the verdict came from: the file's own signature or a system catalog
// holding its hash; none when neither had a word (not signed, not read).
enum SignerSource { SIGNER_FROM_NONE, SIGNER_FROM_EMBEDDED, SIGNER_FROM_CATALOG };

struct SignerCheck {
    SignerVerdict verdict;
    SignerSource source;
    wchar_t signer[SIGNER_NAME_CAPACITY];  // the leaf certificate's simple display name, or empty
};

struct CachedSigner {
    wchar_t path[MAX_PATH];  // letters A to Z folded when compared
    FileIdentity identity;
    SignerCheck check;
    unsigned long long lastUse;
};

// The last SIGNER_CACHE_ENTRIES answers, each kept until its file changes;
// the least recently used goes first. Locked: any thread may use it.
struct SignerCache {
    CRITICAL_SECTION lock;
    CachedSigner* entries;
    int count;
    unsigned long long useClock;
};

// False when there is no memory for the entries; the cache is then unusable.
bool InitSignerCache(SignerCache* cache);
void FreeSignerCache(SignerCache* cache);

// Checks the file at `path` (a System32 path is read through Sysnative by a
// 32-bit program on 64-bit Windows). Answered from `cache` while the file's
// identity is the one remembered (cache NULL: no cache). Blocks while
// WinVerifyTrust and the catalogs read the file: call it from a worker.
void CheckFileSigner(const wchar_t* path, SignerCache* cache, SignerCheck* check);

// The line shown for a check: the signer's name, "(Not signed)",
// "(Signature not valid)", "(Untrusted publisher) <name>",
// "(Cannot check on this Windows)" or "(Cannot read the file)".
void FormatSignerText(const SignerCheck* check, wchar_t* text, size_t capacity);

// ---- The catalog search, one system call each, replaced by the tests ----

// Acquires the catalog context for `algorithm` and hashes the file; false
// when the system has neither (SHA-256 before Windows 8), with nothing held.
bool OpenSystemCatalogSearch(HANDLE file, CatalogHash algorithm, CatalogSearch* search);
// The next catalog holding the hash, and what verifying the file as its member
// says; false when no catalog is left.
bool FindNextCatalogVerdict(CatalogSearch* search, const wchar_t* path, HANDLE file, SignerVerdict* verdict,
                            wchar_t* signer /* SIGNER_NAME_CAPACITY */);
// Releases whatever the search holds.
void CloseSystemCatalogSearch(CatalogSearch* search);
// WinVerifyTrust from wintrust.dll, loaded from the system folder;
// TRUST_E_PROVIDER_UNKNOWN when it cannot be had.
LONG WINAPI CallWinVerifyTrust(HWND window, GUID* action, LPVOID data);
