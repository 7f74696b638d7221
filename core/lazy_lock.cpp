#include "core/lazy_lock.h"

static const LONG LOCK_READY = 2;

bool IsLockMade(const volatile LONG* state)
{
    return *state == LOCK_READY;
}

void MakeLockOnce(CRITICAL_SECTION* lock, volatile LONG* state)
{
    // 0 not made, 1 being made, 2 ready.
    if (*state == LOCK_READY)
        return;
    if (InterlockedCompareExchange(state, 1, 0) == 0) {
        InitializeCriticalSection(lock);
        InterlockedExchange(state, LOCK_READY);
    }
    while (*state != LOCK_READY)
        Sleep(0);
}
