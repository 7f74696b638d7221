// The records that the system calls behind the seams take and fill. They
// live apart from the modules that use them, so that those modules and the
// seams (core/seams.h) can both include them.
#pragma once
#include <windows.h>

// An executable's version resource, as core/version_info loads it.
struct VersionInfoBlock {
    bool loaded;
    bool hasTranslation;
    void* data;
    DWORD size;                     // bytes at data: every value read lies inside them
    const WORD* translation;        // language, then code page
    VS_FIXEDFILEINFO* fixedInfo;
};

// Who signed a file (core/signer_check).
const int SIGNER_NAME_CAPACITY = 256;

// Ordered from the strongest word a catalog can give to the weakest: among
// several catalogs holding a file, the strongest answer stands.
enum SignerVerdict {
    SIGNER_VERIFIED,      // verifies to a trusted root; signer named
    SIGNER_UNTRUSTED,     // intact, but no trusted root, or expired without a time stamp; signer named if known
    SIGNER_CANNOT_CHECK,  // the system lacks what the signature needs (say, SHA-256 on XP)
    SIGNER_NOT_VALID,     // a signature the file's bytes no longer match
    SIGNER_UNREADABLE,    // the file could not be opened
    SIGNER_NOT_SIGNED     // neither a signature nor a catalog entry
};

enum CatalogHash { CATALOG_SHA256, CATALOG_SHA1 };

// One search of the system catalogs for a file's hash, from open to close.
struct CatalogSearch {
    CatalogHash algorithm;
    HANDLE admin;    // HCATADMIN
    HANDLE catalog;  // HCATINFO of the catalog last found; handed back to the next enumeration
    BYTE hash[32];
    DWORD hashSize;
    wchar_t memberTag[65];  // the hash in capital hex, as catalogs name their members
};
