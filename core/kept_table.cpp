#include "core/kept_table.h"
#include "core/lazy_lock.h"

bool EnterKeptTable(KeptTable* kept, DWORD maximumAgeMs)
{
    MakeLockOnce(&kept->lock, &kept->lockState);
    EnterCriticalSection(&kept->lock);
    return kept->held && GetTickCount() - kept->readTick <= maximumAgeMs;
}

void MarkKeptTableRead(KeptTable* kept)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    kept->readAt = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    kept->readTick = GetTickCount();
    kept->held = true;
}

void LeaveKeptTable(KeptTable* kept)
{
    LeaveCriticalSection(&kept->lock);
}
