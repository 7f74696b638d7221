// A critical section made on first use by whichever thread comes first, and
// never deleted: a thread that outlives its users may still take it.
#pragma once
#include <windows.h>

// state: zero-initialised, kept beside the lock.
void MakeLockOnce(CRITICAL_SECTION* lock, volatile LONG* state);
// Whether the lock has been made: a reader with nothing to find before any
// job was queued need not make it.
bool IsLockMade(const volatile LONG* state);
