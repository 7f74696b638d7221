// What is read from a file's bytes for a sheet or a report: its version
// strings, digests and signer. A reader of many processes' files (the report)
// hands its own reader to the sheets, so that a file shared by many processes
// and modules is read once. Any thread the reader allows.
#pragma once
#include <windows.h>
#include "core/file_fingerprint.h"
#include "core/signer_check.h"
#include "lookup/property_sheet.h"

struct FileEvidence {
    SheetVersionStrings version;
    FileFingerprint digests;  // not valid: the file could not be read whole
    SignerCheck signer;
};

// Fills `evidence` for the file at `path`, read by the name `readable`
// (core/executable_locator's PrepareImageRead). The caller's `context` goes along.
typedef void (*FileEvidenceReader)(void* context, const wchar_t* path, const wchar_t* readable,
                                   FileEvidence* evidence);

struct FileEvidenceSource {
    FileEvidenceReader read;
    void* context;
};
