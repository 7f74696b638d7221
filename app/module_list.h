// The Properties window's "Modules" list: every module of the process with
// its folder, version strings, signer and notes, read on the reads' lane, as
// the one list view's model (app/list_view), and what a module's row does:
// its lookup, its folder, its path and its own sheet on the clipboard.
// Window thread only.
#pragma once
#include <windows.h>
#include "app/list_view.h"
#include "app/process_list.h"
#include "lookup/module_reads.h"

enum ModuleColumn {
    MODULE_COLUMN_NAME,
    MODULE_COLUMN_FOLDER,
    MODULE_COLUMN_DESCRIPTION,
    MODULE_COLUMN_COMPANY,
    MODULE_COLUMN_SIGNER,
    MODULE_COLUMN_NOTES,
    MODULE_COLUMN_COUNT
};

const int MODULE_NOTES_CELL = 1024;

// One module as listed: its whole sheet and its cells' texts.
struct ModuleRow {
    ModuleSheet sheet;
    wchar_t signer[SIGNER_NAME_CAPACITY + 64];
    wchar_t notes[MODULE_NOTES_CELL];  // "; " between notes
};

struct ModuleRows {
    ModuleRow* rows;  // ours; NULL until read
    int count;
    int* shown;       // ours; count places
    int shownCount;
};

struct ModuleList {
    HWND window;
    ListView view;
    ModuleRows rows;
    LONG readId;  // the read under way; 0 once answered
};

// Makes the list as the window's child `id` at `dpi`; false when it cannot.
bool CreateModuleList(ModuleList* list, HWND window, UINT id, UINT dpi);
// Queues the read of the row's process's modules; answered with `message`.
void RequestModules(ModuleList* list, UINT message, const ProcessRow* row);
// The read's answer (its job's id); an unrun read leaves the list empty.
void ShowReadModules(ModuleList* list, UINT message, LPARAM id);
void FreeModuleList(ModuleList* list);

// WM_NOTIFY from the list or its header; *handled false when neither.
LRESULT RunModuleListNotification(ModuleList* list, const NMHDR* header, bool* handled);
// Enter on the list, the row menu's commands and the header menu's; false
// when `command` is none of them.
bool RunModuleListCommand(ModuleList* list, WORD command, UINT dpi);
// WM_CONTEXTMENU; false when it was not over the list or its header.
bool ShowModuleListMenu(ModuleList* list, HWND clicked, UINT dpi, LPARAM position);
