// The Startup Entries window's rows as the one list view's model: the
// entries read, what each entry's file says once read, the columns, and the
// answers the list asks of the model (app/list_view). Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"
#include "core/signer_check.h"
#include "core/version_info.h"
#include "lookup/startup_entry.h"

enum StartupColumn {
    STARTUP_COLUMN_ENTRY,
    STARTUP_COLUMN_LOCATION,
    STARTUP_COLUMN_PROGRAM,
    STARTUP_COLUMN_DESCRIPTION,
    STARTUP_COLUMN_COMPANY,
    STARTUP_COLUMN_SIGNER,
    STARTUP_COLUMN_NOTES,
    STARTUP_COLUMN_COMMAND,
    STARTUP_COLUMN_STATE,
    STARTUP_COLUMN_FIRST_SEEN,
    STARTUP_COLUMN_COUNT
};

const int STARTUP_NOTES_CELL = 1024;

// What an entry's file says, filled in by its evidence job.
struct StartupFileFacts {
    bool read;       // answered, read or not
    wchar_t path[MAX_PATH];
    wchar_t description[VERSION_STRING_CAPACITY];
    wchar_t company[VERSION_STRING_CAPACITY];
    wchar_t fileVersion[VERSION_STRING_CAPACITY];
    wchar_t signer[SIGNER_NAME_CAPACITY + 64];
    wchar_t notes[STARTUP_NOTES_CELL];  // "; " between notes
    bool windowsOwn;  // every file verifies as Microsoft's, and no notes
    ULONGLONG firstSeen;         // FILETIME units; 0: not known
    wchar_t firstSeenText[64];
    wchar_t newSince[96];        // "New since <date>" for an entry new since the last reading
    // The signer and notes in English, for "Copy Properties in English".
    wchar_t signerInEnglish[SIGNER_NAME_CAPACITY + 64];
    wchar_t notesInEnglish[STARTUP_NOTES_CELL];
    wchar_t newSinceInEnglish[96];
};

// The window's switches as the model reads them (ShowListRows).
const DWORD STARTUP_HIDE_WINDOWS = 0x1;

struct StartupRows {
    StartupList* list;        // NULL until read; ours
    StartupFileFacts* facts;  // one per entry of list; ours
    int shownCount;
    int hiddenCount;  // left out as Windows' own
    int shown[STARTUP_ENTRY_CAPACITY];
    wchar_t enabledText[32];
    wchar_t disabledText[32];
    wchar_t checkingText[32];
};

extern const ListColumn startupColumns[STARTUP_COLUMN_COUNT];
extern const ListModelCalls startupListCalls;

// Whether a signer check is a verified signature of a name beginning
// "Microsoft ": the signature only, never the company a file claims.
bool IsVerifiedAsMicrosoft(const SignerCheck* check);

// Takes the list read (ours from here) and makes room for its facts; false
// when there is no room (the list is freed then).
bool TakeStartupList(StartupRows* rows, StartupList* list);
void FreeStartupRows(StartupRows* rows);
// The entry's number (list index) of a shown row, or -1.
int ShownStartupEntry(const StartupRows* rows, int index);
// The selected row's entry, or NULL; its number in *number when not NULL.
StartupEntry* SelectedStartupEntry(const ListView* view, int* number);
// The file an entry's lookup, location and path are of: the payload a host
// runs, else the program; NULL when the entry names no file there is.
const wchar_t* StartupEntryFile(const StartupRows* rows, int number);
