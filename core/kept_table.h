// A table read at most a moment ago, kept for the calls that follow one
// another (a list's rows, each asking the same question of the system): one
// lock, one age, and a read again when the table is older or when the
// caller's own rule says the kept one cannot answer (a process newer than
// the table). Each user states that rule where it asks. Any thread.
#pragma once
#include <windows.h>

struct KeptTable {
    CRITICAL_SECTION lock;  // made on first use, never deleted
    volatile LONG lockState;
    bool held;              // a table has been read
    DWORD readTick;         // GetTickCount at the read
    ULONGLONG readAt;       // the system time at the read, FILETIME units
};

// Enters the table's lock; true when what it holds is no older than
// `maximumAgeMs`. The caller reads again (and calls MarkKeptTableRead) when
// this says no or its own rule does, uses the table, and leaves.
bool EnterKeptTable(KeptTable* kept, DWORD maximumAgeMs);
// The table was read just now; call it under the lock, before the read, so
// that what started during the read counts as newer than it.
void MarkKeptTableRead(KeptTable* kept);
void LeaveKeptTable(KeptTable* kept);
