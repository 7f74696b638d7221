// The Startup Entries window with 500 Run values planted in the current
// user's key, each naming a program of the system folder: prints the window's
// first display, the time until its rows are shown, until every row's
// evidence (signer, notes) is read, and the longest message meanwhile.
// bench/startup_window.sh runs this under Wine in a copy of the test prefix.
//   bench_startup_window.exe [entries (500)]
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "app/app_state.h"
#include "app/startup_first_seen.h"
#include "app/startup_window.h"
#include "core/background_jobs.h"
#include "lookup/startup_entries.h"
#include "lookup/startup_folders.h"
#include "lookup/startup_registry.h"
#include "lookup/startup_services.h"
#include "lookup/startup_switch.h"
#include "lookup/startup_tasks.h"
#include "resource.h"

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

std::vector<std::wstring> FindSystemPrograms()
{
    std::vector<std::wstring> found;
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((std::wstring(folder) + L"\\*.exe").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do
        found.push_back(std::wstring(folder) + L"\\" + entry.cFileName);
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

bool PlantRunValues(int count, const std::vector<std::wstring>& programs)
{
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, RUN, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    for (int i = 0; i < count; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"Bench Entry %04d", i);
        std::wstring command = L"\"" + programs[i % programs.size()] + L"\" /bench " + std::to_wstring(i);
        RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)command.c_str(), (DWORD)((command.size() + 1) * 2));
    }
    RegCloseKey(key);
    return true;
}

double longestMessage;
// When the list first held the planted rows, drawn: 0 until then.
HWND watchedList;
int watchedCount;
double rowsShownAt;

int RowCount(HWND list)
{
    return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
}

void DispatchQueued()
{
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        double began = Now();
        if (!HandleStartupWindowMessage(&message))
            DispatchMessageW(&message);
        longestMessage = std::max(longestMessage, Now() - began);
        if (watchedList && rowsShownAt == 0 && RowCount(watchedList) >= watchedCount) {
            UpdateWindow(GetParent(watchedList));
            rowsShownAt = Now();
        }
    }
}

// A row's signer cell says "Checking..." until its evidence is read: the
// window's own word for it, from its string table.
bool IsAnyRowChecking(HWND list, const wchar_t* checking)
{
    int count = RowCount(list);
    for (int row = 0; row < count; ++row) {
        for (int column = 0; column < 10; ++column) {
            wchar_t text[512] = L"";
            LVITEMW item;
            ZeroMemory(&item, sizeof(item));
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = ARRAYSIZE(text);
            SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
            if (lstrcmpW(text, checking) == 0)
                return true;
        }
    }
    return false;
}

// The entries' read, part by part, as the window's background read makes it.
void TimeEntryReads()
{
    StartupList* list = (StartupList*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(StartupList));
    if (!list)
        return;
    struct Part {
        const char* name;
        void (*read)(StartupList*);
    } parts[] = {{"Run values", ReadRunEntries},         {"Startup folders", ReadStartupFolderEntries},
                 {"services", ReadServiceEntries},       {"tasks", ReadTaskEntries},
                 {"system hooks", ReadSystemHookEntries}, {"kept switches", ReadKeptStartupEntries},
                 {"approved states", ApplyStartupApproved}};
    printf("the entries read by part:");
    for (const Part& part : parts) {
        double start = Now();
        part.read(list);
        printf(" %s %.1f ms;", part.name, (Now() - start) * 1000);
    }
    StartupSeenDates* dates = (StartupSeenDates*)HeapAlloc(GetProcessHeap(), 0, sizeof(StartupSeenDates));
    double start = Now();
    if (dates)
        MarkStartupSeenDates(list, dates);
    printf(" first-seen dates %.1f ms; %d entries\n", (Now() - start) * 1000, list->count);
    start = Now();
    for (int i = 0; i < list->count; ++i)
        ProbeStartupProgram(&list->entries[i]);
    printf("every program probed (with the evidence, after the rows show): %.1f ms\n", (Now() - start) * 1000);
    if (dates)
        HeapFree(GetProcessHeap(), 0, dates);
    HeapFree(GetProcessHeap(), 0, list);
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    appState.instance = GetModuleHandleW(NULL);
    setvbuf(stdout, NULL, _IONBF, 0);
    std::vector<std::wstring> programs = FindSystemPrograms();
    if (programs.empty() || !PlantRunValues(count, programs)) {
        printf("cannot plant the Run values\n");
        return 1;
    }
    printf("%d Run values planted over %d programs of the system folder\n", count, (int)programs.size());
    wchar_t checking[64] = L"";
    LoadStringW(appState.instance, IDS_CHECKING_SIGNER, checking, ARRAYSIZE(checking));

    TimeEntryReads();
    // The first opening pays once for the common controls and the shell's icons.
    ShowStartupWindow();
    CloseStartupWindow();
    // Its read, under way when it closed, runs out first: the timed opening
    // does not wait behind it.
    while (IsJobLaneBusy(LANE_READS)) {
        DispatchQueued();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
    DispatchQueued();

    double start = Now();
    ShowStartupWindow();
    HWND window = StartupWindowHandle();
    UpdateWindow(window);
    double shown = Now();
    HWND list = GetDlgItem(window, IDC_STARTUP_LIST);
    longestMessage = 0;
    watchedList = list;
    watchedCount = count;
    while (rowsShownAt == 0 && Now() - start < 60) {
        DispatchQueued();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
    double rows = rowsShownAt != 0 ? rowsShownAt : Now();
    while (IsAnyRowChecking(list, checking) && Now() - start < 120) {
        DispatchQueued();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    double evidence = Now();
    printf("first display: %.1f ms; %d rows shown after %.1f ms; every row's evidence read after %.0f ms\n",
           (shown - start) * 1000, RowCount(list), (rows - start) * 1000, (evidence - start) * 1000);
    printf("the longest message meanwhile: %.1f ms\n", longestMessage * 1000);
    CloseStartupWindow();
    return 0;
}
