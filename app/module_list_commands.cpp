#include "app/module_list.h"
#include "core/program_language.h"
#include "app/app_state.h"
#include "app/clipboard_copy.h"
#include "app/setting_names.h"
#include "core/desktop_shell.h"
#include "lookup/note_words.h"
#include "lookup/process_lookup.h"
#include "resource.h"

// A module's own sheet: its lines, notes and all, fit in this.
static const size_t MODULE_SHEET_TEXT_CAPACITY = 16384;

static const ModuleRow* SelectedModule(const ModuleList* list)
{
    int index = SelectedListIndex(&list->view);
    const ModuleRows* rows = &list->rows;
    return index >= 0 && index < rows->shownCount ? &rows->rows[rows->shown[index]] : NULL;
}

// A name from the other process: looked up only as the disk file it names.
static void LookUpModule(const ModuleRow* row)
{
    if (!row || !LookUpHandedFile(row->sheet.module.path, appState.mainWindow, IsExtendedInfoOn()))
        MessageBeep(MB_OK);
}

// The module's sheet in the program's language, or in English for a forum in another.
static void CopyModuleProperties(HWND owner, const ModuleRow* row, bool english)
{
    wchar_t* text = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, MODULE_SHEET_TEXT_CAPACITY * sizeof(wchar_t));
    if (!text) {
        TellCopyFailed(owner);
        return;
    }
    LANGID before = english ? SetThreadTextLanguage(SHEET_ENGLISH) : 0;
    bool whole = FormatModuleSheet(&row->sheet, text, MODULE_SHEET_TEXT_CAPACITY);
    if (english)
        SetThreadTextLanguage(before);
    CopyTextForPerson(owner, text, whole);
    HeapFree(GetProcessHeap(), 0, text);
}

bool RunModuleListCommand(ModuleList* list, WORD command, UINT dpi)
{
    (void)dpi;
    const ModuleRow* row = SelectedModule(list);
    switch (command) {
    case IDOK:  // Enter on the list
        if (GetFocus() != list->view.list)
            return false;
        LookUpModule(row);
        return true;
    case IDM_MODULE_LOOK_UP:
        LookUpModule(row);
        return true;
    case IDM_MODULE_OPEN_LOCATION:
        if (row)
            ShowFileInFolder(list->window, row->sheet.module.path);
        return true;
    case IDM_MODULE_COPY_PATH:
        if (row)
            CopyTextForPerson(list->window, row->sheet.module.path, true);
        return true;
    case IDM_MODULE_COPY_PROPERTIES:
    case IDM_MODULE_COPY_ENGLISH:
        if (row)
            CopyModuleProperties(list->window, row, command == IDM_MODULE_COPY_ENGLISH);
        return true;
    case IDM_PROPERTIES_COPY_ENGLISH:  // Ctrl+Shift+C: the module's, when the list has the focus
        if (GetFocus() != list->view.list || !row)
            return false;
        CopyModuleProperties(list->window, row, true);
        return true;
    }
    return false;
}

LRESULT RunModuleListNotification(ModuleList* list, const NMHDR* header, bool* handled)
{
    LRESULT result = 0;
    int sorted = -1;
    *handled = true;
    if (HandleListNotification(&list->view, header, &result, &sorted)) {
        if (sorted >= 0) {
            ShowListRows(&list->view, L"", 0);
            EnsureSelectionVisible(&list->view);
        }
        return result;
    }
    if (header->hwndFrom == list->view.list && header->code == NM_DBLCLK) {
        int index = ((const NMITEMACTIVATE*)header)->iItem;
        if (index >= 0 && index < list->rows.shownCount)
            LookUpModule(&list->rows.rows[list->rows.shown[index]]);
        return 0;
    }
    *handled = false;
    return 0;
}


bool ShowModuleListMenu(ModuleList* list, HWND clicked, UINT dpi, LPARAM position)
{
    if (ShowListColumnMenuAt(&list->view, list->window, clicked, dpi, position))
        return true;
    if (clicked != list->view.list)
        return false;
    if (!SelectedModule(list))
        return true;
    HMENU menu = LoadProgramMenu(IDR_MODULE_MENU);
    HMENU popup = menu ? GetSubMenu(menu, 0) : NULL;
    if (popup) {
        SetMenuDefaultItem(popup, IDM_MODULE_LOOK_UP, FALSE);
        POINT point = ListMenuPoint(&list->view, position);
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, point.x, point.y, 0, list->window, NULL);
    }
    if (menu)
        DestroyMenu(menu);
    return true;
}
