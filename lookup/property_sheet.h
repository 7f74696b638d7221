// The Properties sheet of one process as plain text: "Label: value" lines in
// a fixed order, then "Notes:" and a "- " line per note, each worded in the
// thread's language from what its rule wrote. Pure: it formats
// what it is given (the clock's time zone aside), on any thread.
#pragma once
#include <windows.h>
#include "core/file_fingerprint.h"
#include "core/signer_check.h"
#include "core/version_info.h"
#include "lookup/file_notes.h"
#include "lookup/parent_notes.h"
#include "lookup/logon_entries.h"
#include "lookup/process_facts.h"

// Room for any sheet: a command line of 32767 characters and every other line.
const size_t PROPERTY_SHEET_CAPACITY = 65536;

// The version resource's strings as the sheet shows them; empty: none.
struct SheetVersionStrings {
    wchar_t fileVersion[VERSION_STRING_CAPACITY];
    wchar_t product[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t originalName[VERSION_STRING_CAPACITY];
};

// What is known so far. A NULL pointer (or a false "read" flag) is a value
// not yet read: "Reading..." on a partial sheet, left out of a whole one.
// A value read and empty is left out of both.
struct PropertySheetInput {
    const ProcessFacts* process;          // required: its name and PID always show
    bool processRead;                     // parent, start, user and the file's facts
    bool commandLineRead;                 // process->commandLine answered (NULL then: unknown)
    const wchar_t* folderWithTokens;      // the folder as sent, such as %temp%
    const FileFingerprint* digests;       // MD5 and SHA-256; not valid: the file could not be read
    const SheetVersionStrings* version;
    const SignerCheck* signer;
    const wchar_t* runs;                  // what a host process runs
    const LogonEntries* logon;
    const FileNotes* notes;
    bool explainNotes;                    // each note's explanation on an indented line under it
    const ParentNotes* parentNotes;       // NULL: none
};

// Writes the sheet, lines ended by CR LF. A line that would not fit is left
// out whole; false then.
bool FormatPropertySheet(const PropertySheetInput* input, bool partial, wchar_t* text, size_t capacity);

// A FILETIME (UTC) as local "yyyy-mm-dd hh:mm:ss"; false when it cannot be converted.
bool FormatLocalTime(unsigned long long fileTime, wchar_t* text, size_t capacity);
