#include "app/startup_window_state.h"
#include "core/program_language.h"
#include "core/program_text.h"
#include "app/list_window.h"
#include <commctrl.h>
#include <strsafe.h>
#include "app/app_state.h"
#include "app/clipboard_copy.h"
#include "app/setting_names.h"
#include "core/desktop_shell.h"
#include "lookup/note_words.h"
#include "lookup/process_lookup.h"
#include "resource.h"

static const size_t SHEET_CAPACITY = 8192;

// The entry's file looked up as /lookup looks up a file.
static void LookUpEntry(StartupWindowState* state, int number)
{
    const wchar_t* file = StartupEntryFile(&state->rows, number);
    if (!file) {
        MessageBeep(MB_OK);
        return;
    }
    LookUpHandedFile(file, appState.mainWindow, IsExtendedInfoOn());
}

static void OpenEntryLocation(StartupWindowState* state, int number)
{
    const wchar_t* file = StartupEntryFile(&state->rows, number);
    if (file)
        ShowFileInFolder(state->window, file);
}

static void CopyEntryPath(StartupWindowState* state, int number)
{
    const wchar_t* file = StartupEntryFile(&state->rows, number);
    if (file)
        CopyTextForPerson(state->window, file, true);
}

// One "<label>: <text>" line of the sheet; nothing for an empty text.
static void AppendSheetLine(wchar_t* sheet, UINT labelId, const wchar_t* text)
{
    wchar_t label[64];
    wchar_t format[32];
    wchar_t line[1200];
    if (!text[0] || !LoadProgramText(labelId, label, ARRAYSIZE(label)) ||
        !LoadProgramText(IDS_SHEET_LABEL_FORMAT, format, ARRAYSIZE(format)))
        return;
    StringCchPrintfW(line, ARRAYSIZE(line), format, label, text);
    StringCchCatW(sheet, SHEET_CAPACITY, line);
    StringCchCatW(sheet, SHEET_CAPACITY, L"\r\n");
}

static void AppendFileLines(wchar_t* sheet, const StartupFileFacts* facts, const wchar_t* file, bool english)
{
    wchar_t folder[MAX_PATH];
    StringCchCopyW(folder, ARRAYSIZE(folder), file);
    wchar_t* name = wcsrchr(folder, L'\\');
    if (name)
        *name++ = L'\0';
    AppendSheetLine(sheet, IDS_SHEET_FILE, name ? name : folder);
    AppendSheetLine(sheet, IDS_SHEET_FOLDER, name ? folder : L"");
    AppendSheetLine(sheet, IDS_SHEET_FILE_VERSION, facts->fileVersion);
    AppendSheetLine(sheet, IDS_SHEET_COMPANY, facts->company);
    AppendSheetLine(sheet, IDS_SHEET_DESCRIPTION, facts->description);
    AppendSheetLine(sheet, IDS_SHEET_SIGNER, english ? facts->signerInEnglish : facts->signer);
}

// The entry's notes under their heading, one a line.
static void AppendNotes(wchar_t* sheet, const wchar_t* notes)
{
    wchar_t heading[32];
    if (!notes[0] || !LoadProgramText(IDS_SHEET_NOTES_HEADING, heading, ARRAYSIZE(heading)))
        return;
    StringCchCatW(sheet, SHEET_CAPACITY, heading);
    StringCchCatW(sheet, SHEET_CAPACITY, L"\r\n");
    for (const wchar_t* note = notes; *note;) {
        const wchar_t* end = wcsstr(note, L"; ");
        size_t length = end ? (size_t)(end - note) : wcslen(note);
        StringCchCatNW(sheet, SHEET_CAPACITY, note, length);
        StringCchCatW(sheet, SHEET_CAPACITY, L"\r\n");
        note += length + (end ? 2 : 0);
    }
}

// The entry's sheet, then its file's lines and its notes, in the thread's
// language; `english` takes the signer and notes kept in English.
static void WriteEntrySheet(const StartupWindowState* state, int number, bool english, wchar_t* sheet)
{
    const StartupEntry* entry = &state->rows.list->entries[number];
    const StartupFileFacts* facts = &state->rows.facts[number];
    AppendSheetLine(sheet, IDS_STARTUP_COLUMN_ENTRY, entry->entry);
    AppendSheetLine(sheet, IDS_STARTUP_COLUMN_LOCATION, entry->location);
    AppendSheetLine(sheet, IDS_STARTUP_COLUMN_COMMAND, entry->command);
    wchar_t entryState[32] = L"";
    LoadProgramText(entry->enabled ? IDS_STARTUP_ENABLED : IDS_STARTUP_DISABLED, entryState, ARRAYSIZE(entryState));
    AppendSheetLine(sheet, IDS_STARTUP_COLUMN_STATE, entryState);
    const wchar_t* file = StartupEntryFile(&state->rows, number);
    AppendFileLines(sheet, facts, file ? file : entry->program, english);
    AppendNotes(sheet, english ? facts->notesInEnglish : facts->notes);
}

// Ctrl+C: the entry's sheet; Ctrl+Shift+C: the same in English, for a forum
// in another language than the program's.
static void CopyEntryProperties(StartupWindowState* state, int number, bool english)
{
    if (number < 0)
        return;
    wchar_t* sheet = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, SHEET_CAPACITY * sizeof(wchar_t));
    if (!sheet) {
        TellCopyFailed(state->window);
        return;
    }
    LANGID before = english ? SetThreadTextLanguage(SHEET_ENGLISH) : 0;
    WriteEntrySheet(state, number, english, sheet);
    if (english)
        SetThreadTextLanguage(before);
    CopyTextForPerson(state->window, sheet, true);
    HeapFree(GetProcessHeap(), 0, sheet);
}

// The commands on the selected row; false when `command` is none of them.
static bool RunRowCommand(StartupWindowState* state, WORD command)
{
    int number = -1;
    SelectedStartupEntry(&state->view, &number);
    switch (command) {
    case IDM_STARTUP_LOOK_UP:
        LookUpEntry(state, number);
        return true;
    case IDM_STARTUP_OPEN_LOCATION:
        OpenEntryLocation(state, number);
        return true;
    case IDM_STARTUP_COPY_PATH:
        CopyEntryPath(state, number);
        return true;
    case IDM_STARTUP_DISABLE:
    case IDM_STARTUP_ENABLE:
        SwitchSelectedStartupEntry(state, command == IDM_STARTUP_ENABLE);
        return true;
    case IDM_STARTUP_COPY_PROPERTIES:  // Ctrl+C: the filter keeps its own
        if (GetFocus() == state->filter)
            SendMessageW(state->filter, WM_COPY, 0, 0);
        else if (GetFocus() == state->list)
            CopyEntryProperties(state, number, false);
        return true;
    case IDM_STARTUP_COPY_ENGLISH:  // Ctrl+Shift+C
        if (GetFocus() == state->list)
            CopyEntryProperties(state, number, true);
        return true;
    }
    return false;
}

void RunStartupWindowCommand(StartupWindowState* state, WORD command)
{
    if (RunRowCommand(state, command))
        return;
    switch (command) {
    case IDOK:  // Enter on the list
        RunRowCommand(state, IDM_STARTUP_LOOK_UP);
        break;
    case IDM_STARTUP_REFRESH:
        RequestStartupEntries(state);
        break;
    case IDM_STARTUP_FOCUS_FILTER:
        FocusListFilter(state);
        break;
    }
}

LRESULT RunStartupListNotification(StartupWindowState* state, const NMHDR* header)
{
    if (header->hwndFrom != state->list)
        return 0;
    switch (header->code) {
    case NM_DBLCLK:
        LookUpEntry(state, ShownStartupEntry(&state->rows, ((const NMITEMACTIVATE*)header)->iItem));
        break;
    case NM_RETURN:
        RunRowCommand(state, IDM_STARTUP_LOOK_UP);
        break;
    case LVN_KEYDOWN:  // Del: the filter keeps its own
        if (((const NMLVKEYDOWN*)header)->wVKey == VK_DELETE)
            SwitchSelectedStartupEntry(state, false);
        break;
    }
    return 0;
}


void ShowStartupRowMenu(StartupWindowState* state, LPARAM position)
{
    int number = -1;
    if (!SelectedStartupEntry(&state->view, &number))
        return;
    HMENU menu = LoadProgramMenu(IDR_STARTUP_MENU);
    HMENU popup = menu ? GetSubMenu(menu, 0) : NULL;
    if (!popup) {
        if (menu)
            DestroyMenu(menu);
        return;
    }
    // Named by an entry that points at no file there is: nothing to look up or open.
    UINT fileless = StartupEntryFile(&state->rows, number) ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(popup, IDM_STARTUP_LOOK_UP, MF_BYCOMMAND | fileless);
    EnableMenuItem(popup, IDM_STARTUP_OPEN_LOCATION, MF_BYCOMMAND | fileless);
    EnableMenuItem(popup, IDM_STARTUP_COPY_PATH, MF_BYCOMMAND | fileless);
    AllowStartupSwitchItems(popup, &state->rows.list->entries[number]);
    SetMenuDefaultItem(popup, IDM_STARTUP_LOOK_UP, FALSE);
    POINT point = ListMenuPoint(&state->view, position);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, point.x, point.y, 0, state->window, NULL);
    DestroyMenu(menu);
}
