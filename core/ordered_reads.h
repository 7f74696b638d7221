// Items read on a few threads at once and handed on one by one, in their
// order, on the caller's thread. For reads that mostly wait (another
// process answering a query, a disk): they overlap, and what is handed on
// comes in the order one thread would give. At most `window` items are read
// ahead of the one handed on, each into a slot of its own, so memory does
// not grow with the count. Readers run with the caller's text language.
#pragma once
#include <windows.h>

struct OrderedReads {
    int count;         // items 0 to count - 1
    int readers;       // threads at most; when none can be had, the caller's thread reads
    int window;        // slots, at least 1
    size_t slotSize;   // each slot zeroed before its first item only
    void* context;
    // On a reader thread, any item's slot of its own while it reads.
    void (*read)(void* context, int item, void* slot);
    // On the caller's thread, in the items' order; the slot is reused after.
    void (*hand)(void* context, int item, void* slot);
};

// Returns when every item has been handed on. False when there was no memory
// for the slots: nothing was read then.
bool RunOrderedReads(const OrderedReads* reads);
