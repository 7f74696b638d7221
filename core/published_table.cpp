#include "core/published_table.h"
#include <windows.h>

const void* PublishTableOnce(void* volatile* published, const void* filled, size_t bytes)
{
    void* copy = HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!copy)
        return NULL;
    CopyMemory(copy, filled, bytes);
    void* standing = InterlockedCompareExchangePointer((PVOID volatile*)published, copy, NULL);
    if (!standing)
        return copy;
    HeapFree(GetProcessHeap(), 0, copy);
    return standing;
}
