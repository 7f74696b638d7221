// Which startup entries are new since the previous opening: a store of the
// entries seen (a hash of location, name and command, and the day first
// seen), at most STARTUP_SEEN_CAPACITY, kept as one binary setting under the
// name the caller gives (core/settings). The first opening records every
// entry and marks none new. Any thread, one caller at a time.
#pragma once
#include <windows.h>
#include "lookup/startup_entry.h"

const int STARTUP_SEEN_CAPACITY = 4096;

struct SeenEntry {
    ULONGLONG hash;
    ULONGLONG firstSeen;  // FILETIME units
};

// The entry's hash: FNV-1a over its location, name and command, letters A-Z folded.
ULONGLONG HashStartupEntry(const StartupEntry* entry);

// Pure: the store after an opening that found `hashes` at `now`. Writes
// isNew[i] for each (false for all on the first opening, when there was no store),
// and fills `merged` (STARTUP_SEEN_CAPACITY): every hash found now first,
// with its first day kept, then those not found now, the most recent first,
// while room lasts. Returns merged's count.
int MergeSeenEntries(const SeenEntry* seen, int seenCount, bool firstOpening, const ULONGLONG* hashes, int count,
                     ULONGLONG now, bool* isNew, SeenEntry* merged);

// Marks list's entries first seen since the previous opening (isNew) and
// stores what was seen under `settingName`. False when the store could not
// be written (the marks are still made).
bool MarkNewStartupEntries(StartupList* list, const wchar_t* settingName);
