#include "app/startup_view.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "resource.h"

// The Running Processes window's titles where the two lists share a column.
const ListColumn startupColumns[STARTUP_COLUMN_COUNT] = {
    {IDS_STARTUP_COLUMN_ENTRY, 150, LVCFMT_LEFT},   {IDS_STARTUP_COLUMN_LOCATION, 200, LVCFMT_LEFT},
    {IDS_STARTUP_COLUMN_PROGRAM, 200, LVCFMT_LEFT}, {IDS_COLUMN_DESCRIPTION, 150, LVCFMT_LEFT},
    {IDS_COLUMN_COMPANY, 110, LVCFMT_LEFT},         {IDS_COLUMN_SIGNER, 120, LVCFMT_LEFT},
    {IDS_COLUMN_NOTES, 200, LVCFMT_LEFT},           {IDS_STARTUP_COLUMN_COMMAND, 300, LVCFMT_LEFT},
    {IDS_STARTUP_COLUMN_STATE, 70, LVCFMT_LEFT},    {IDS_STARTUP_COLUMN_FIRST_SEEN, 90, LVCFMT_LEFT},
};

bool IsVerifiedAsMicrosoft(const SignerCheck* check)
{
    static const wchar_t prefix[] = L"Microsoft ";
    return check->verdict == SIGNER_VERIFIED && wcsncmp(check->signer, prefix, ARRAYSIZE(prefix) - 1) == 0;
}

bool TakeStartupList(StartupRows* rows, StartupList* list)
{
    FreeStartupRows(rows);
    int count = list->count > 0 ? list->count : 1;
    rows->facts = (StartupFileFacts*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(StartupFileFacts));
    if (!rows->facts) {
        HeapFree(GetProcessHeap(), 0, list);
        return false;
    }
    rows->list = list;
    return true;
}

void FreeStartupRows(StartupRows* rows)
{
    if (rows->list)
        HeapFree(GetProcessHeap(), 0, rows->list);
    if (rows->facts)
        HeapFree(GetProcessHeap(), 0, rows->facts);
    rows->list = NULL;
    rows->facts = NULL;
    rows->shownCount = 0;
}

int ShownStartupEntry(const StartupRows* rows, int index)
{
    return index >= 0 && index < rows->shownCount ? rows->shown[index] : -1;
}

StartupEntry* SelectedStartupEntry(const ListView* view, int* number)
{
    StartupRows* rows = (StartupRows*)view->model;
    int at = ShownStartupEntry(rows, SelectedListIndex(view));
    if (number)
        *number = at;
    return at >= 0 ? &rows->list->entries[at] : NULL;
}

const wchar_t* StartupEntryFile(const StartupRows* rows, int number)
{
    if (number < 0 || !rows->list)
        return NULL;
    const StartupFileFacts* facts = &rows->facts[number];
    if (facts->read && facts->path[0])
        return facts->path;
    // Asked before its evidence came: the one file probed here.
    StartupEntry* entry = &rows->list->entries[number];
    ProbeStartupProgram(entry);
    return entry->programFound ? entry->program : NULL;
}

static const wchar_t* FactText(const StartupRows* rows, int number, const wchar_t* text)
{
    return rows->facts[number].read ? text : rows->checkingText;
}

static const wchar_t* EntryCell(const StartupRows* rows, int number, int column)
{
    const StartupEntry* entry = &rows->list->entries[number];
    const StartupFileFacts* facts = &rows->facts[number];
    switch (column) {
    case STARTUP_COLUMN_ENTRY:
        return entry->entry;
    case STARTUP_COLUMN_LOCATION:
        return entry->location;
    case STARTUP_COLUMN_PROGRAM:
        return entry->program;
    case STARTUP_COLUMN_DESCRIPTION:
        return facts->description;
    case STARTUP_COLUMN_COMPANY:
        return facts->company;
    case STARTUP_COLUMN_SIGNER:
        return FactText(rows, number, facts->signer);
    case STARTUP_COLUMN_NOTES:
        return facts->notes;
    case STARTUP_COLUMN_COMMAND:
        return entry->command;
    case STARTUP_COLUMN_STATE:
        return entry->enabled ? rows->enabledText : rows->disabledText;
    case STARTUP_COLUMN_FIRST_SEEN:
        return facts->firstSeenText;
    }
    return L"";
}

static bool ContainsFolded(const wchar_t* text, const wchar_t* part, size_t partLength)
{
    for (; *text; ++text) {
        if (EqualFoldingAsciiLetters(text, part, partLength))
            return true;
    }
    return false;
}

static bool MatchesFilter(const StartupRows* rows, int number, const wchar_t* filter)
{
    size_t length = wcslen(filter);
    if (length == 0)
        return true;
    for (int column = 0; column < STARTUP_COLUMN_COUNT; ++column) {
        if (ContainsFolded(EntryCell(rows, number, column), filter, length))
            return true;
    }
    return false;
}

// Dates in the order they came, whatever the way the locale writes them.
static int CompareCells(const void* model, int a, int b, int column)
{
    const StartupRows* rows = (const StartupRows*)model;
    if (column == STARTUP_COLUMN_FIRST_SEEN) {
        ULONGLONG x = rows->facts[a].firstSeen, y = rows->facts[b].firstSeen;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return CompareFoldingAsciiLetters(EntryCell(rows, a, column), EntryCell(rows, b, column));
}


static int CountShown(const void* model)
{
    return ((const StartupRows*)model)->shownCount;
}

static ULONG_PTR KeyOfShown(const void* model, int index)
{
    int number = ShownStartupEntry((const StartupRows*)model, index);
    return number >= 0 ? (ULONG_PTR)number + 1 : 0;
}

static int FindShownKey(const void* model, ULONG_PTR key)
{
    const StartupRows* rows = (const StartupRows*)model;
    for (int i = 0; i < rows->shownCount; ++i) {
        if ((ULONG_PTR)rows->shown[i] + 1 == key)
            return i;
    }
    return -1;
}

static void ShowMatching(void* model, const wchar_t* filter, DWORD switches, int sortColumn, bool descending)
{
    StartupRows* rows = (StartupRows*)model;
    rows->shownCount = 0;
    rows->hiddenCount = 0;
    for (int i = 0; rows->list && i < rows->list->count; ++i) {
        if ((switches & STARTUP_HIDE_WINDOWS) && rows->facts[i].windowsOwn)
            ++rows->hiddenCount;
        else if (MatchesFilter(rows, i, filter))
            rows->shown[rows->shownCount++] = i;
    }
    if (sortColumn >= 0 && sortColumn < STARTUP_COLUMN_COUNT)
        SortListRows(rows->shown, rows->shownCount, CompareCells, rows, sortColumn, descending);
}

static const wchar_t* CellText(const void* model, int index, int column, wchar_t* scratch, size_t capacity)
{
    (void)scratch;
    (void)capacity;
    const StartupRows* rows = (const StartupRows*)model;
    int number = ShownStartupEntry(rows, index);
    return number >= 0 ? EntryCell(rows, number, column) : L"";
}

static int IconOfShown(const void* model, int index)
{
    (void)model;
    (void)index;
    return I_IMAGENONE;
}

static int FindName(const void* model, const wchar_t* prefix, int start)
{
    const StartupRows* rows = (const StartupRows*)model;
    size_t length = wcslen(prefix);
    for (int step = 0; step < rows->shownCount; ++step) {
        int index = (start + step) % rows->shownCount;
        if (EqualFoldingAsciiLetters(rows->list->entries[rows->shown[index]].entry, prefix, length))
            return index;
    }
    return -1;
}

const ListModelCalls startupListCalls = {CountShown, KeyOfShown, FindShownKey, ShowMatching,
                                         CellText,   IconOfShown, FindName};
