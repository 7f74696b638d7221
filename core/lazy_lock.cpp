#include "core/lazy_lock.h"

void MakeLockOnce(CRITICAL_SECTION* lock, volatile LONG* state)
{
    // 0 not made, 1 being made, 2 ready.
    if (*state == 2)
        return;
    if (InterlockedCompareExchange(state, 1, 0) == 0) {
        InitializeCriticalSection(lock);
        InterlockedExchange(state, 2);
    }
    while (*state != 2)
        Sleep(0);
}
