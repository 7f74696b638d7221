#include "app/process_view.h"
#include <strsafe.h>
#include "resource.h"

// The first seven, the notes among them, fit the window's first size.
const ListColumn processColumns[COLUMN_COUNT] = {
    {IDS_COLUMN_PROCESS, 120, LVCFMT_LEFT},
    {IDS_COLUMN_PID, 45, LVCFMT_RIGHT},
    {IDS_COLUMN_DESCRIPTION, 140, LVCFMT_LEFT},
    {IDS_COLUMN_COMPANY, 100, LVCFMT_LEFT},
    {IDS_COLUMN_SIGNER, 115, LVCFMT_LEFT},
    {IDS_COLUMN_FOLDER, 105, LVCFMT_LEFT},
    {IDS_COLUMN_RUNS, 140, LVCFMT_LEFT},
    {IDS_COLUMN_NOTES, 110, LVCFMT_LEFT},
    {IDS_COLUMN_COMMAND_LINE, 300, LVCFMT_LEFT},
    {IDS_COLUMN_PARENT, 140, LVCFMT_LEFT},
};

// The notes just after the signer, in sight at the window's first size.
const int processColumnOrder[COLUMN_COUNT] = {COLUMN_PROCESS, COLUMN_PID,    COLUMN_DESCRIPTION, COLUMN_COMPANY,
                                              COLUMN_SIGNER,       COLUMN_NOTES,  COLUMN_FOLDER,      COLUMN_RUNS,
                                              COLUMN_COMMAND_LINE, COLUMN_PARENT};

static int CountShown(const void* model)
{
    return ((const ProcessList*)model)->shownCount;
}

static ULONG_PTR KeyOfShown(const void* model, int index)
{
    const ProcessRow* row = ShownRow((const ProcessList*)model, index);
    return row ? row->processId : 0;
}

static int FindShownKey(const void* model, ULONG_PTR key)
{
    return FindShownProcess((const ProcessList*)model, (DWORD)key);
}

static void ShowMatching(void* model, const wchar_t* filter, DWORD switches, int sortColumn, bool descending)
{
    RowView view = {filter, (switches & ROWS_UNVERIFIED_ONLY) != 0, sortColumn, descending,
                    (switches & ROWS_AS_TREE) != 0};
    ShowMatchingRows((ProcessList*)model, &view);
}

static const wchar_t* ColumnText(const ProcessRow* row, int column, wchar_t* number, size_t capacity)
{
    switch (column) {
    case COLUMN_PROCESS:
        return row->imageName;
    case COLUMN_PID:
        StringCchPrintfW(number, capacity, L"%lu", row->processId);
        return number;
    case COLUMN_DESCRIPTION:
        return row->description;
    case COLUMN_COMPANY:
        return row->company;
    case COLUMN_SIGNER:
        return row->signer;
    case COLUMN_FOLDER:
        return row->folder;
    case COLUMN_RUNS:
        return RowRuns(row);
    case COLUMN_COMMAND_LINE:
        return RowCommandLine(row);
    case COLUMN_NOTES:
        return row->notesCell;
    case COLUMN_PARENT:
        return row->parentCell;
    }
    return L"";
}

static const wchar_t* CellText(const void* model, int index, int column, wchar_t* scratch, size_t capacity)
{
    const ProcessRow* row = ShownRow((const ProcessList*)model, index);
    return row ? ColumnText(row, column, scratch, capacity) : L"";
}

static int IconOfShown(const void* model, int index)
{
    const ProcessRow* row = ShownRow((const ProcessList*)model, index);
    return row ? row->iconIndex : I_IMAGENONE;
}

static int FindName(const void* model, const wchar_t* prefix, int start)
{
    return FindShownName((const ProcessList*)model, prefix, start);
}

static int LevelOfShown(const void* model, int index, int* box)
{
    const ProcessRow* row = ShownRow((const ProcessList*)model, index);
    *box = !row || !row->hasChildren ? LIST_NO_BOX : row->collapsed ? LIST_BOX_COLLAPSED : LIST_BOX_EXPANDED;
    return row ? row->depth : 0;
}

const ListModelCalls processListCalls = {CountShown, KeyOfShown, FindShownKey, ShowMatching,
                                         CellText,   IconOfShown, FindName,     LevelOfShown};

ProcessRow* SelectedRow(const ListView* view)
{
    return ShownRow((const ProcessList*)view->model, SelectedListIndex(view));
}
