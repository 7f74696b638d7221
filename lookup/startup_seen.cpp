#include "lookup/startup_seen.h"
#include <stdlib.h>
#include <wchar.h>
#include "core/settings.h"

static ULONGLONG HashText(ULONGLONG hash, const wchar_t* text)
{
    for (; *text; ++text) {
        wchar_t character = *text >= L'A' && *text <= L'Z' ? (wchar_t)(*text + 32) : *text;
        hash = (hash ^ (character & 0xFF)) * 1099511628211ull;
        hash = (hash ^ (character >> 8)) * 1099511628211ull;
    }
    // A separator, so that "ab"+"c" and "a"+"bc" differ.
    return (hash ^ 0x1F) * 1099511628211ull;
}

ULONGLONG HashStartupEntry(const StartupEntry* entry)
{
    ULONGLONG hash = 14695981039346656037ull;
    hash = HashText(hash, entry->location);
    hash = HashText(hash, entry->entry);
    return HashText(hash, entry->command);
}

static int FindSeen(const SeenEntry* seen, int count, ULONGLONG hash)
{
    for (int i = 0; i < count; ++i)
        if (seen[i].hash == hash)
            return i;
    return -1;
}

static int CompareNewestFirst(const void* a, const void* b)
{
    ULONGLONG first = ((const SeenEntry*)a)->firstSeen, second = ((const SeenEntry*)b)->firstSeen;
    return first < second ? 1 : first > second ? -1 : 0;
}

int MergeSeenEntries(const SeenEntry* seen, int seenCount, bool firstOpening, const ULONGLONG* hashes, int count,
                     ULONGLONG now, bool* isNew, SeenEntry* merged)
{
    int mergedCount = 0;
    for (int i = 0; i < count; ++i) {
        int known = FindSeen(seen, seenCount, hashes[i]);
        isNew[i] = !firstOpening && known < 0;
        if (mergedCount < STARTUP_SEEN_CAPACITY && FindSeen(merged, mergedCount, hashes[i]) < 0) {
            merged[mergedCount].hash = hashes[i];
            merged[mergedCount].firstSeen = known >= 0 ? seen[known].firstSeen : now;
            ++mergedCount;
        }
    }
    // Those not found now: the most recent kept while room lasts.
    SeenEntry* rest = seenCount > 0 ? (SeenEntry*)HeapAlloc(GetProcessHeap(), 0, seenCount * sizeof(SeenEntry)) : NULL;
    int restCount = 0;
    for (int i = 0; rest && i < seenCount; ++i)
        if (FindSeen(merged, mergedCount, seen[i].hash) < 0)
            rest[restCount++] = seen[i];
    if (rest) {
        qsort(rest, (size_t)restCount, sizeof(SeenEntry), CompareNewestFirst);
        for (int i = 0; i < restCount && mergedCount < STARTUP_SEEN_CAPACITY; ++i)
            merged[mergedCount++] = rest[i];
        HeapFree(GetProcessHeap(), 0, rest);
    }
    return mergedCount;
}

bool MarkNewStartupEntries(StartupList* list, const wchar_t* settingName)
{
    SIZE_T storeBytes = STARTUP_SEEN_CAPACITY * sizeof(SeenEntry);
    SeenEntry* seen = (SeenEntry*)HeapAlloc(GetProcessHeap(), 0, storeBytes);
    SeenEntry* merged = (SeenEntry*)HeapAlloc(GetProcessHeap(), 0, storeBytes);
    ULONGLONG* hashes = (ULONGLONG*)HeapAlloc(GetProcessHeap(), 0, STARTUP_ENTRY_CAPACITY * sizeof(ULONGLONG));
    bool* isNew = (bool*)HeapAlloc(GetProcessHeap(), 0, STARTUP_ENTRY_CAPACITY * sizeof(bool));
    bool written = false;
    if (seen && merged && hashes && isNew) {
        DWORD bytes = 0;
        int seenCount = 0;
        // A store of any other size or type is none: everything is recorded afresh.
        bool stored = ReadBinarySetting(settingName, seen, (DWORD)storeBytes, &bytes) && bytes % sizeof(SeenEntry) == 0;
        if (stored)
            seenCount = (int)(bytes / sizeof(SeenEntry));
        for (int i = 0; i < list->count; ++i)
            hashes[i] = HashStartupEntry(&list->entries[i]);
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        int count = MergeSeenEntries(seen, seenCount, !stored, hashes, list->count,
                                     ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime, isNew, merged);
        for (int i = 0; i < list->count; ++i)
            list->entries[i].isNew = isNew[i];
        written = EnsureSettingsKey() && WriteBinarySetting(settingName, merged, (DWORD)(count * sizeof(SeenEntry)));
    }
    void* blocks[] = {seen, merged, hashes, isNew};
    for (size_t i = 0; i < ARRAYSIZE(blocks); ++i)
        if (blocks[i])
            HeapFree(GetProcessHeap(), 0, blocks[i]);
    return written;
}
