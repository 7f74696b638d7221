#include "core/ordered_reads.h"
#include <objbase.h>
#include "core/program_language.h"

// WaitForMultipleObjects' limit.
static const int READER_LIMIT = MAXIMUM_WAIT_OBJECTS;

struct ReadsRun {
    const OrderedReads* reads;
    BYTE* slots;
    bool* done;            // per slot: its item has been read
    CRITICAL_SECTION lock;
    int next;              // the next item a reader takes
    HANDLE room;           // semaphore: slots free to read into
    HANDLE finished;       // auto-reset: an item has been read
    LANGID language;
};

static void* SlotOf(ReadsRun* run, int item)
{
    return run->slots + (size_t)(item % run->reads->window) * run->reads->slotSize;
}

static DWORD WINAPI ReadItems(LPVOID parameter)
{
    ReadsRun* run = (ReadsRun*)parameter;
    // What a read asks of the shell wants COM on its thread.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    SetThreadTextLanguage(run->language);
    for (;;) {
        WaitForSingleObject(run->room, INFINITE);
        EnterCriticalSection(&run->lock);
        int item = run->next < run->reads->count ? run->next++ : -1;
        LeaveCriticalSection(&run->lock);
        if (item < 0) {
            // The room taken is handed back, so that every other reader sees the end too.
            ReleaseSemaphore(run->room, 1, NULL);
            break;
        }
        run->reads->read(run->reads->context, item, SlotOf(run, item));
        EnterCriticalSection(&run->lock);
        run->done[item % run->reads->window] = true;
        LeaveCriticalSection(&run->lock);
        SetEvent(run->finished);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

static bool IsRead(ReadsRun* run, int item)
{
    EnterCriticalSection(&run->lock);
    bool read = run->done[item % run->reads->window];
    LeaveCriticalSection(&run->lock);
    return read;
}

static int StartReaders(ReadsRun* run, HANDLE* threads)
{
    int wanted = run->reads->readers < run->reads->count ? run->reads->readers : run->reads->count;
    if (wanted > READER_LIMIT)
        wanted = READER_LIMIT;
    int started = 0;
    for (int i = 0; i < wanted && run->room && run->finished; ++i) {
        HANDLE thread = CreateThread(NULL, 0, ReadItems, run, 0, NULL);
        if (thread)
            threads[started++] = thread;
    }
    return started;
}

static void HandInOrder(ReadsRun* run)
{
    const OrderedReads* reads = run->reads;
    for (int item = 0; item < reads->count; ++item) {
        while (!IsRead(run, item))
            WaitForSingleObject(run->finished, INFINITE);
        reads->hand(reads->context, item, SlotOf(run, item));
        EnterCriticalSection(&run->lock);
        run->done[item % reads->window] = false;
        LeaveCriticalSection(&run->lock);
        ReleaseSemaphore(run->room, 1, NULL);
    }
}

bool RunOrderedReads(const OrderedReads* reads)
{
    if (reads->count <= 0)
        return true;
    if (reads->window <= 0 || reads->slotSize == 0 || (size_t)reads->window > ((size_t)-1) / reads->slotSize)
        return false;
    HANDLE heap = GetProcessHeap();
    ReadsRun run;
    ZeroMemory(&run, sizeof(run));
    run.reads = reads;
    run.slots = (BYTE*)HeapAlloc(heap, HEAP_ZERO_MEMORY, (size_t)reads->window * reads->slotSize);
    run.done = (bool*)HeapAlloc(heap, HEAP_ZERO_MEMORY, (size_t)reads->window * sizeof(bool));
    if (!run.slots || !run.done) {
        if (run.slots)
            HeapFree(heap, 0, run.slots);
        if (run.done)
            HeapFree(heap, 0, run.done);
        return false;
    }
    InitializeCriticalSection(&run.lock);
    run.room = CreateSemaphoreW(NULL, reads->window, reads->window, NULL);
    run.finished = CreateEventW(NULL, FALSE, FALSE, NULL);
    run.language = ProgramLanguage();
    HANDLE threads[READER_LIMIT];
    int started = StartReaders(&run, threads);
    if (started > 0) {
        HandInOrder(&run);
        WaitForMultipleObjects((DWORD)started, threads, TRUE, INFINITE);
    } else {
        // No thread to be had: read here, one item after another.
        for (int item = 0; item < reads->count; ++item) {
            reads->read(reads->context, item, run.slots);
            reads->hand(reads->context, item, run.slots);
        }
    }
    for (int i = 0; i < started; ++i)
        CloseHandle(threads[i]);
    if (run.room)
        CloseHandle(run.room);
    if (run.finished)
        CloseHandle(run.finished);
    DeleteCriticalSection(&run.lock);
    HeapFree(heap, 0, run.done);
    HeapFree(heap, 0, run.slots);
    return true;
}
