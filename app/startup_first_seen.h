// When each startup entry was first seen, and which are new since the
// previous reading (lookup/startup_seen), for the Startup Entries window's
// "First Seen" column and its "New since <date>" note.
#pragma once
#include <windows.h>
#include "app/startup_view.h"
#include "lookup/startup_entry.h"

struct StartupSeenDates {
    ULONGLONG previousReading;  // FILETIME units; 0: none before
    ULONGLONG firstSeen[STARTUP_ENTRY_CAPACITY];
};

// Marks the list's new entries, keeps what was seen and when this reading
// was, and fills `dates`. Any thread, one caller at a time (the reads' lane).
void MarkStartupSeenDates(StartupList* list, StartupSeenDates* dates);
// Window thread: the rows' first-seen texts and new entries' notes.
void ShowStartupSeenDates(StartupRows* rows, const StartupSeenDates* dates);
