#include "app/module_list.h"
#include "app/setting_names.h"
#include <strsafe.h>
#include "app/app_state.h"
#include "core/ascii_folding.h"
#include "core/background_jobs.h"
#include "core/process_command_line.h"
#include "core/seams.h"
#include "lookup/note_facts.h"
#include "resource.h"

// The folders' rules as the rows read them: a read a moment ago is recent enough.
static const DWORD MODULE_FOLDERS_AGE_MS = 2000;

// The Running Processes window's titles where the two lists share a column.
static const ListColumn moduleColumns[MODULE_COLUMN_COUNT] = {
    {IDS_COLUMN_MODULE, 150, LVCFMT_LEFT},      {IDS_COLUMN_FOLDER, 150, LVCFMT_LEFT},
    {IDS_COLUMN_DESCRIPTION, 150, LVCFMT_LEFT}, {IDS_COLUMN_COMPANY, 110, LVCFMT_LEFT},
    {IDS_COLUMN_SIGNER, 120, LVCFMT_LEFT},      {IDS_COLUMN_NOTES, 250, LVCFMT_LEFT},
};

// ---- The read, on the reads' lane ---------------------------------------------------

struct ModuleRead {
    DWORD processId;
    ULONGLONG createdAt;
    wchar_t executable[PROCESS_PATH_CAPACITY];
    wchar_t programSigner[SIGNER_NAME_CAPACITY + 32];  // empty: the program does not verify
    ModuleRow* rows;
    int count;
};

static void FreeModuleRead(void* record)
{
    ModuleRead* read = (ModuleRead*)record;
    if (read->rows)
        HeapFree(GetProcessHeap(), 0, read->rows);
    HeapFree(GetProcessHeap(), 0, read);
}

static void FillCells(ModuleRow* row)
{
    if (row->sheet.signerRead)
        FormatSignerText(&row->sheet.signer, row->signer, ARRAYSIZE(row->signer));
    for (int i = 0; i < row->sheet.notes.count; ++i) {
        if (i > 0)
            StringCchCatW(row->notes, ARRAYSIZE(row->notes), L"; ");
        StringCchCatW(row->notes, ARRAYSIZE(row->notes), row->sheet.notes.text[i]);
    }
}

static void ReadModuleRows(ModuleRead* read, HANDLE process, const ModuleProcessContext* context,
                           const volatile LONG* stop)
{
    ProcessModuleList list;
    seams.readProcessModules(process, read->processId, read->executable[0] ? read->executable : NULL, &list);
    if (list.count > 0)
        read->rows = (ModuleRow*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, list.count * sizeof(ModuleRow));
    for (int i = 0; read->rows && i < list.count && !*stop; ++i) {
        ReadModuleSheet(&list.modules[i], context, true, &read->rows[i].sheet);
        FillCells(&read->rows[i]);
        read->count = i + 1;
    }
    FreeProcessModules(&list);
}

static void ReadModules(void* record, const volatile LONG* stop)
{
    ModuleRead* read = (ModuleRead*)record;
    unsigned long long startTime = 0;
    HANDLE process = OpenListedProcess(read->processId, read->createdAt, &startTime);
    if (!process)
        return;
    NoteFolders* folders = (NoteFolders*)HeapAlloc(GetProcessHeap(), 0, sizeof(NoteFolders));
    KnownLibraryNames* known = (KnownLibraryNames*)HeapAlloc(GetProcessHeap(), 0, sizeof(KnownLibraryNames));
    if (folders)
        ReadNoteFoldersRecently(MODULE_FOLDERS_AGE_MS, folders);
    if (known)
        ReadKnownLibraryNames(known);
    ModuleProcessContext context = {read->processId, NULL, read->executable[0] ? read->executable : NULL,
                                    startTime, read->programSigner, folders, known};
    ReadModuleRows(read, process, &context, stop);
    if (known)
        HeapFree(GetProcessHeap(), 0, known);
    if (folders)
        HeapFree(GetProcessHeap(), 0, folders);
    CloseHandle(process);
}

void RequestModules(ModuleList* list, UINT message, const ProcessRow* row)
{
    ModuleRead* read = (ModuleRead*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ModuleRead));
    if (!read)
        return;
    read->processId = row->processId;
    read->createdAt = row->createdAt;
    if (row->hasPath && !row->pathReported)
        StringCchCopyW(read->executable, ARRAYSIZE(read->executable), row->exePath);
    if (row->verified)
        StringCchCopyW(read->programSigner, ARRAYSIZE(read->programSigner), row->signer);
    list->readId = QueueWindowJob(list->window, message, LANE_READS, JOB_LATER, ReadModules, FreeModuleRead, read);
}

static void ReleaseRows(ModuleRows* rows)
{
    if (rows->rows)
        HeapFree(GetProcessHeap(), 0, rows->rows);
    if (rows->shown)
        HeapFree(GetProcessHeap(), 0, rows->shown);
    ZeroMemory(rows, sizeof(*rows));
}

void ShowReadModules(ModuleList* list, UINT message, LPARAM id)
{
    bool ran = false;
    ModuleRead* read = (ModuleRead*)TakeJobResult(list->window, message, id, &ran);
    if (!read)
        return;
    list->readId = 0;
    ReleaseRows(&list->rows);
    int* shown = read->count > 0 ? (int*)HeapAlloc(GetProcessHeap(), 0, read->count * sizeof(int)) : NULL;
    if (ran && shown) {
        list->rows.rows = read->rows;
        list->rows.count = read->count;
        list->rows.shown = shown;
        read->rows = NULL;
    } else if (shown) {
        HeapFree(GetProcessHeap(), 0, shown);
    }
    FreeModuleRead(read);
    ShowListRows(&list->view, L"", 0);
}

void FreeModuleList(ModuleList* list)
{
    ReleaseRows(&list->rows);
}

// ---- The list's model -----------------------------------------------------------------

static const wchar_t* ModuleName(const ModuleRow* row)
{
    const wchar_t* path = row->sheet.module.path;
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

static const wchar_t* ModuleCell(const ModuleRow* row, int column)
{
    switch (column) {
    case MODULE_COLUMN_NAME:
        return ModuleName(row);
    case MODULE_COLUMN_FOLDER:
        return row->sheet.folder;
    case MODULE_COLUMN_DESCRIPTION:
        return row->sheet.version.description;
    case MODULE_COLUMN_COMPANY:
        return row->sheet.version.company;
    case MODULE_COLUMN_SIGNER:
        return row->signer;
    case MODULE_COLUMN_NOTES:
        return row->notes;
    }
    return L"";
}

// Unsorted: the modules with notes first, then by name.
static int CompareRows(const void* model, int a, int b, int column)
{
    const ModuleRows* rows = (const ModuleRows*)model;
    const ModuleRow* x = &rows->rows[a];
    const ModuleRow* y = &rows->rows[b];
    if (column >= 0 && column < MODULE_COLUMN_COUNT) {
        int order = CompareFoldingAsciiLetters(ModuleCell(x, column), ModuleCell(y, column));
        if (order != 0)
            return order;
    } else if ((x->sheet.notes.count > 0) != (y->sheet.notes.count > 0)) {
        return x->sheet.notes.count > 0 ? -1 : 1;
    }
    return CompareFoldingAsciiLetters(ModuleName(x), ModuleName(y));
}


static int CountShown(const void* model)
{
    return ((const ModuleRows*)model)->shownCount;
}

static ULONG_PTR KeyOfShown(const void* model, int index)
{
    const ModuleRows* rows = (const ModuleRows*)model;
    return index >= 0 && index < rows->shownCount ? (ULONG_PTR)rows->shown[index] + 1 : 0;
}

static int FindShownKey(const void* model, ULONG_PTR key)
{
    const ModuleRows* rows = (const ModuleRows*)model;
    for (int i = 0; i < rows->shownCount; ++i) {
        if ((ULONG_PTR)rows->shown[i] + 1 == key)
            return i;
    }
    return -1;
}

static void ShowMatching(void* model, const wchar_t* filter, DWORD switches, int sortColumn, bool descending)
{
    (void)filter;
    (void)switches;
    ModuleRows* rows = (ModuleRows*)model;
    rows->shownCount = 0;
    for (int i = 0; rows->shown && i < rows->count; ++i)
        rows->shown[rows->shownCount++] = i;
    SortListRows(rows->shown, rows->shownCount, CompareRows, rows, sortColumn, descending && sortColumn >= 0);
}

static const wchar_t* CellText(const void* model, int index, int column, wchar_t* scratch, size_t capacity)
{
    (void)scratch;
    (void)capacity;
    const ModuleRows* rows = (const ModuleRows*)model;
    return index >= 0 && index < rows->shownCount ? ModuleCell(&rows->rows[rows->shown[index]], column) : L"";
}

static int IconOfShown(const void* model, int index)
{
    (void)model;
    (void)index;
    return I_IMAGENONE;
}

static int FindName(const void* model, const wchar_t* prefix, int start)
{
    const ModuleRows* rows = (const ModuleRows*)model;
    size_t length = wcslen(prefix);
    for (int step = 0; step < rows->shownCount; ++step) {
        int index = (start + step) % rows->shownCount;
        if (EqualFoldingAsciiLetters(ModuleName(&rows->rows[rows->shown[index]]), prefix, length))
            return index;
    }
    return -1;
}

static const ListModelCalls moduleListCalls = {CountShown, KeyOfShown, FindShownKey, ShowMatching,
                                               CellText,   IconOfShown, FindName};

bool CreateModuleList(ModuleList* list, HWND window, UINT id, UINT dpi)
{
    list->window = window;
    static const ListViewShape shape = {moduleColumns, MODULE_COLUMN_COUNT, moduleColumnsSetting, NULL,
                                        &moduleListCalls};
    list->view.sortColumn = -1;
    return CreateShapedListView(&list->view, &shape, &list->rows, window, id, dpi);
}
