#include "app/startup_window.h"
#include "core/program_text.h"
#include "app/startup_window_state.h"
#include "app/list_window.h"
#include <commctrl.h>
#include <strsafe.h>
#include "app/accessible_names.h"
#include "app/app_state.h"
#include "app/dark_mode.h"
#include "app/file_lookup.h"
#include "app/program_icons.h"
#include "app/setting_names.h"
#include "app/startup_first_seen.h"
#include "app/unverified_switch.h"
#include "core/settings.h"
#include "app/window_messages.h"
#include "app/window_placement.h"
#include "core/background_jobs.h"
#include "core/program_language.h"
#include "core/window_dpi.h"
#include "lookup/note_facts.h"
#include "lookup/process_sheet.h"
#include "lookup/startup_entries.h"
#include "lookup/startup_notes.h"
#include "resource.h"

static const wchar_t startupWindowClass[] = L"TavrowenStartup";
// At 96 DPI: room for the first five columns.
static const int DEFAULT_WIDTH = 860;
static const int DEFAULT_HEIGHT = 480;
static const int FILTER_CAPACITY = MAX_PATH;
// The system's folders the notes compare against change seldom.
static const DWORD NOTE_FOLDERS_AGE_MS = 60000;

// ---- The background reads -------------------------------------------------------

struct EntriesRead {
    StartupList* list;
    StartupSeenDates dates;
};

// Entries read per job: a few jobs for hundreds of entries instead of one
// each, and the rows still fill in batch by batch.
static const int EVIDENCE_BATCH = 16;
// Batches queued at a time: the lane has work waiting while the window is busy.
static const int EVIDENCE_BATCHES_QUEUED = 4;

struct EntryEvidence {
    StartupEntry entry;
    StartupEvidence evidence;
    StartupNotes notes;
    bool windowsOwn;
};

struct EvidenceRead {
    LONG reading;  // which reading of the entries the numbers are of
    int first;     // the batch's first entry number
    int count;
    NoteFolders folders;
    EntryEvidence entries[EVIDENCE_BATCH];
};

static void ReadEntries(void* record, const volatile LONG* stop)
{
    (void)stop;
    EntriesRead* read = (EntriesRead*)record;
    read->list = (StartupList*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(StartupList));
    if (!read->list)
        return;
    // The files are probed with each entry's evidence, after the rows show.
    ListStartupEntries(read->list);
    MarkStartupSeenDates(read->list, &read->dates);
}

static void ReleaseEntries(void* record)
{
    EntriesRead* read = (EntriesRead*)record;
    if (read->list)
        HeapFree(GetProcessHeap(), 0, read->list);
    HeapFree(GetProcessHeap(), 0, read);
}

// Whether every file the entry names verifies as Microsoft's and nothing is
// noted: the program, and the payload a host runs when it names one.
static bool IsWindowsOwnEntry(const EntryEvidence* read)
{
    const StartupEntry* entry = &read->entry;
    if (!entry->programFound || read->notes.count > 0 || !read->evidence.path[0] ||
        !IsVerifiedAsMicrosoft(&read->evidence.signer))
        return false;
    if (lstrcmpiW(read->evidence.path, entry->program) == 0)
        return entry->payload[0] == L'\0';
    // What was judged is the payload: its host has to verify too.
    SignerCheck host;
    CheckFileSigner(entry->program, ReadsLaneSignerCache(), &host);
    return IsVerifiedAsMicrosoft(&host);
}

static void ReadEvidence(void* record, const volatile LONG* stop)
{
    EvidenceRead* read = (EvidenceRead*)record;
    if (*stop)
        return;
    ReadNoteFoldersRecently(NOTE_FOLDERS_AGE_MS, &read->folders);
    for (int i = 0; i < read->count && !*stop; ++i) {
        EntryEvidence* one = &read->entries[i];
        ProbeStartupProgram(&one->entry);
        ReadStartupEvidence(&one->entry, ReadsLaneSignerCache(), &read->folders, &one->evidence);
        ListStartupNotes(&one->entry, one->evidence.factsRead ? &one->evidence.facts : NULL, &one->notes);
        one->windowsOwn = IsWindowsOwnEntry(one);
    }
}

static void ReleaseRecord(void* record)
{
    HeapFree(GetProcessHeap(), 0, record);
}

void RequestStartupEntries(StartupWindowState* state)
{
    EntriesRead* read = (EntriesRead*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(EntriesRead));
    if (read)
        QueueWindowJob(state->window, WM_STARTUP_ENTRIES_READ, LANE_READS, JOB_FIRST, ReadEntries, ReleaseEntries,
                       read);
}

static void MarkFactsUnread(StartupWindowState* state, int number)
{
    StartupFileFacts* facts = &state->rows.facts[number];
    facts->read = true;
    StringCchCopyW(facts->signer, ARRAYSIZE(facts->signer), state->notReadText);
    LANGID before = SetThreadTextLanguage(SHEET_ENGLISH);
    LoadProgramText(IDS_STARTUP_NOT_READ, facts->signerInEnglish, ARRAYSIZE(facts->signerInEnglish));
    SetThreadTextLanguage(before);
}

// Queues the next batch of entries' files, if any are left; a batch that
// cannot be queued is answered as not read, and the next one tried.
static void RequestEvidence(StartupWindowState* state)
{
    const StartupList* list = state->rows.list;
    while (list && state->nextEvidence < list->count) {
        int first = state->nextEvidence;
        int count = list->count - first < EVIDENCE_BATCH ? list->count - first : EVIDENCE_BATCH;
        state->nextEvidence = first + count;
        EvidenceRead* read = (EvidenceRead*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(EvidenceRead));
        if (read) {
            read->reading = state->evidenceReading;
            read->first = first;
            read->count = count;
            for (int i = 0; i < count; ++i)
                read->entries[i].entry = list->entries[first + i];
            if (QueueWindowJob(state->window, WM_STARTUP_EVIDENCE_READ, LANE_READS, JOB_LATER, ReadEvidence,
                               ReleaseRecord, read))
                return;
        }
        for (int i = 0; i < count; ++i)
            MarkFactsUnread(state, first + i);
    }
}

// WM_STARTUP_ENTRIES_READ: the rows show, and the entries' files are read after.
static void ShowReadEntries(StartupWindowState* state, LPARAM id)
{
    bool ran = false;
    EntriesRead* read = (EntriesRead*)TakeJobResult(state->window, WM_STARTUP_ENTRIES_READ, id, &ran);
    if (!read)
        return;
    StartupList* list = read->list;
    read->list = NULL;
    if (!ran || !list || !TakeStartupList(&state->rows, list)) {
        ReleaseEntries(read);
        return;
    }
    ShowStartupSeenDates(&state->rows, &read->dates);
    ReleaseEntries(read);
    ShowStartupRows(state);
    // Batches of an earlier reading still coming are of no use now.
    ++state->evidenceReading;
    state->nextEvidence = 0;
    for (int i = 0; i < EVIDENCE_BATCHES_QUEUED; ++i)
        RequestEvidence(state);
}

// The entry's "New since" first, then the file's notes, in the thread's language.
static void JoinNotes(const wchar_t* newSince, const StartupNotes* notes, wchar_t* cell, size_t capacity)
{
    StringCchCopyW(cell, capacity, newSince);
    for (int i = 0; i < notes->count; ++i) {
        wchar_t note[NOTE_TEXT_CAPACITY];
        FormatKeptNote(&notes->words[i], notes->text[i], note, ARRAYSIZE(note));
        if (cell[0])
            StringCchCatW(cell, capacity, L"; ");
        StringCchCatW(cell, capacity, note);
    }
}

// What "Copy Properties in English" writes of the file.
static void FillEnglishFacts(StartupFileFacts* facts, const EntryEvidence* read)
{
    LANGID before = SetThreadTextLanguage(SHEET_ENGLISH);
    if (read->evidence.path[0])
        FormatSignerText(&read->evidence.signer, facts->signerInEnglish, ARRAYSIZE(facts->signerInEnglish));
    else
        facts->signerInEnglish[0] = L'\0';
    JoinNotes(facts->newSinceInEnglish, &read->notes, facts->notesInEnglish, ARRAYSIZE(facts->notesInEnglish));
    SetThreadTextLanguage(before);
}

static void FillFacts(StartupFileFacts* facts, const EntryEvidence* read)
{
    StringCchCopyW(facts->path, ARRAYSIZE(facts->path), read->evidence.path);
    StringCchCopyW(facts->description, ARRAYSIZE(facts->description), read->evidence.description);
    StringCchCopyW(facts->company, ARRAYSIZE(facts->company), read->evidence.company);
    StringCchCopyW(facts->fileVersion, ARRAYSIZE(facts->fileVersion), read->evidence.fileVersion);
    if (read->evidence.path[0])
        FormatSignerText(&read->evidence.signer, facts->signer, ARRAYSIZE(facts->signer));
    else
        facts->signer[0] = L'\0';
    JoinNotes(facts->newSince, &read->notes, facts->notes, ARRAYSIZE(facts->notes));
    FillEnglishFacts(facts, read);
    // A new entry is noted as one, and shows.
    facts->windowsOwn = read->windowsOwn && !facts->newSince[0];
}

static bool IsHidingWindowsEntries(const StartupWindowState* state);

// Whether what was read of a file can change which rows show or their order.
static bool CanMoveRows(const StartupWindowState* state, const StartupFileFacts* facts)
{
    wchar_t first[2] = L"";
    GetWindowTextW(state->filter, first, ARRAYSIZE(first));
    int column = state->view.sortColumn;
    return first[0] != L'\0' || (facts->windowsOwn && IsHidingWindowsEntries(state)) ||
           column == STARTUP_COLUMN_PROGRAM || column == STARTUP_COLUMN_DESCRIPTION || column == STARTUP_COLUMN_COMPANY ||
           column == STARTUP_COLUMN_SIGNER || column == STARTUP_COLUMN_NOTES;
}

// What the evidence read found of the entry's program, kept in the window's list.
static void KeepProbedProgram(StartupEntry* listed, const StartupEntry* probed)
{
    if (listed->probe == PROGRAM_PROBED)
        return;
    StringCchCopyW(listed->program, ARRAYSIZE(listed->program), probed->program);
    StringCchCopyW(listed->payload, ARRAYSIZE(listed->payload), probed->payload);
    listed->programFound = probed->programFound;
    listed->probe = PROGRAM_PROBED;
}

// Only the batch's rows, and only where they show.
static void RedrawShownEntries(const StartupWindowState* state, int first, int count)
{
    int top = -1, bottom = -1;
    for (int i = 0; i < count; ++i) {
        int shownAt = state->view.calls->findShownKey(state->view.model, (ULONG_PTR)(first + i) + 1);
        if (shownAt < 0)
            continue;
        top = top < 0 || shownAt < top ? shownAt : top;
        bottom = shownAt > bottom ? shownAt : bottom;
    }
    if (top >= 0)
        RedrawListRows(&state->view, top, bottom);
}

// One entry's file as read; an unrun read says so.
static void ShowEntryEvidence(StartupWindowState* state, int number, const EntryEvidence* read, bool ran)
{
    if (!ran) {
        MarkFactsUnread(state, number);
        return;
    }
    KeepProbedProgram(&state->rows.list->entries[number], &read->entry);
    FillFacts(&state->rows.facts[number], read);
    state->rows.facts[number].read = true;
}

// WM_STARTUP_EVIDENCE_READ: a batch of entries' files; the next batch is queued.
static void ShowReadEvidence(StartupWindowState* state, LPARAM id)
{
    bool ran = false;
    EvidenceRead* read = (EvidenceRead*)TakeJobResult(state->window, WM_STARTUP_EVIDENCE_READ, id, &ran);
    if (!read)
        return;
    const StartupList* list = state->rows.list;
    if (list && read->reading == state->evidenceReading && read->first >= 0 && read->count >= 0 &&
        read->count <= EVIDENCE_BATCH && read->first + read->count <= list->count) {
        bool moves = false;
        for (int i = 0; i < read->count; ++i) {
            ShowEntryEvidence(state, read->first + i, &read->entries[i], ran);
            moves = moves || CanMoveRows(state, &state->rows.facts[read->first + i]);
        }
        if (moves)
            ShowStartupRows(state);
        RedrawShownEntries(state, read->first, read->count);
        RequestEvidence(state);
    }
    HeapFree(GetProcessHeap(), 0, read);
}

// ---- The window ------------------------------------------------------------------

// The title says how many entries the switch hides.
static void ShowHiddenCount(StartupWindowState* state)
{
    wchar_t title[160] = L"";
    wchar_t shown[160] = L"";
    wchar_t format[128];
    if (state->rows.hiddenCount == 0)
        LoadProgramText(IDS_STARTUP_TITLE, title, ARRAYSIZE(title));
    else if (LoadProgramText(IDS_STARTUP_TITLE_HIDDEN, format, ARRAYSIZE(format)))
        StringCchPrintfW(title, ARRAYSIZE(title), format, state->rows.hiddenCount);
    GetWindowTextW(state->window, shown, ARRAYSIZE(shown));
    if (wcscmp(title, shown) != 0)
        SetWindowTextW(state->window, title);
}

static bool IsHidingWindowsEntries(const StartupWindowState* state)
{
    return SendMessageW(state->hideWindows, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ShowStartupRows(StartupWindowState* state)
{
    wchar_t filter[FILTER_CAPACITY] = L"";
    GetWindowTextW(state->filter, filter, ARRAYSIZE(filter));
    ShowListRows(&state->view, filter, IsHidingWindowsEntries(state) ? STARTUP_HIDE_WINDOWS : 0);
    ShowHiddenCount(state);
}

// The box clicked: the rows and the setting follow it.
static void SaveHideWindowsEntries(StartupWindowState* state)
{
    WriteSetting(startupShowWindowsSetting, IsHidingWindowsEntries(state) ? 0 : 1);
    ShowStartupRows(state);
}

// "Hide Windows Entries", right of the filter: on unless the setting says show them.
static bool CreateHideWindowsSwitch(StartupWindowState* state)
{
    wchar_t caption[64];
    if (!LoadProgramText(IDS_STARTUP_HIDE_WINDOWS, caption, ARRAYSIZE(caption)))
        caption[0] = L'\0';
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
    state->hideWindows = CreateWindowExW(0, L"BUTTON", caption, style, 0, 0, 0, 0, state->window,
                                         (HMENU)(UINT_PTR)IDC_STARTUP_HIDE_WINDOWS, appState.instance, NULL);
    if (!state->hideWindows)
        return false;
    bool show = ReadSetting(startupShowWindowsSetting);
    SendMessageW(state->hideWindows, BM_SETCHECK, show ? BST_UNCHECKED : BST_CHECKED, 0);
    return true;
}

static bool CreateControls(StartupWindowState* state)
{
    HWND window = state->window;
    static const ListViewShape shape = {startupColumns, STARTUP_COLUMN_COUNT, startupColumnsSetting, NULL,
                                        &startupListCalls};
    if (!CreateListWindowControls(state, IDC_STARTUP_FILTER, FILTER_CAPACITY, &shape, &state->rows,
                                  IDC_STARTUP_LIST) ||
        !CreateHideWindowsSwitch(state))
        return false;
    ApplyProcessWindowDpi(&state->scale, window, state->list, ReadWindowDpi(window));
    state->keys = LoadAcceleratorsW(appState.instance, MAKEINTRESOURCEW(IDR_STARTUP_KEYS));
    return true;
}

static void LayOutControls(ListWindowFrame* frame, int width, int height)
{
    const StartupWindowState* state = static_cast<StartupWindowState*>(frame);
    int margin = state->scale.margin;
    int filterRight = PlaceSwitchBox(state->hideWindows, width - margin, margin, state->scale.filterHeight) - margin;
    PlaceListWindowControls(frame, margin, filterRight, width, height);
}

static void LoadRowTexts(StartupWindowState* state)
{
    StartupRows* rows = &state->rows;
    LoadProgramText(IDS_STARTUP_ENABLED, rows->enabledText, ARRAYSIZE(rows->enabledText));
    LoadProgramText(IDS_STARTUP_DISABLED, rows->disabledText, ARRAYSIZE(rows->disabledText));
    LoadProgramText(IDS_CHECKING_SIGNER, rows->checkingText, ARRAYSIZE(rows->checkingText));
    LoadProgramText(IDS_STARTUP_NOT_READ, state->notReadText, ARRAYSIZE(state->notReadText));
}

static bool StartWindow(ListWindowFrame* frame)
{
    StartupWindowState* state = static_cast<StartupWindowState*>(frame);
    LoadRowTexts(state);
    if (!CreateControls(state))
        return false;
    ApplyColorMode(state->window);
    ShowListSortArrow(&state->view);
    RequestStartupEntries(state);
    return true;
}

static void ForgetWindow(ListWindowFrame* frame)
{
    FreeStartupRows(&static_cast<StartupWindowState*>(frame)->rows);
}

static void ShowRows(ListWindowFrame* frame)
{
    ShowStartupRows(static_cast<StartupWindowState*>(frame));
}

static LRESULT RunWindowMessage(ListWindowFrame* frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    StartupWindowState* state = static_cast<StartupWindowState*>(frame);
    switch (message) {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED)
            LayOutControls(state, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_STARTUP_HIDE_WINDOWS)
            SaveHideWindowsEntries(state);
        else
            RunStartupWindowCommand(state, LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return RunStartupListNotification(state, (const NMHDR*)lParam);
    case WM_CONTEXTMENU:
        ShowStartupRowMenu(state, lParam);
        return 0;
    case WM_STARTUP_ENTRIES_READ:
        ShowReadEntries(state, lParam);
        return 0;
    case WM_STARTUP_EVIDENCE_READ:
        ShowReadEvidence(state, lParam);
        return 0;
    }
    return DefWindowProcW(state->window, message, wParam, lParam);
}

// The one Startup Entries window.
static ListWindowKind windowKind = {startupWindowClass,
                                    IDS_STARTUP_TITLE,
                                    DEFAULT_WIDTH,
                                    DEFAULT_HEIGHT,
                                    startupPlacementSetting,
                                    MakeListWindowRecord<StartupWindowState>,
                                    FreeListWindowRecord<StartupWindowState>,
                                    StartWindow,
                                    ForgetWindow,
                                    LayOutControls,
                                    NULL,
                                    ShowRows,
                                    RunWindowMessage,
                                    NULL};

void ShowStartupWindow()
{
    OpenListWindow(&windowKind);
}

void CloseStartupWindow()
{
    CloseListWindow(&windowKind);
}

HWND StartupWindowHandle()
{
    return windowKind.open;
}

bool HandleStartupWindowMessage(MSG* message)
{
    ListWindowFrame* frame = ListWindowRecordForMessage(&windowKind, message);
    return frame && RunListWindowKeys(frame, message);
}
