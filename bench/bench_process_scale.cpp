// The Running Processes window with 2,000 processes: the model and the view
// fed a made-up snapshot through the seams, each row's file a real one from
// the system folder, read as the program reads it. Prints the first display,
// a refresh with nothing changed, a refresh with 100 processes gone and 100
// new, a sort by each column, one filter keystroke, the memory per row, and
// the longest message the window handled while every row's file, command
// line and payload were read (a made-up process cannot be opened: its command
// line reads as empty, but its services are asked for and host lines parsed).
// Each process loads made-up modules (60 by default) drawn from 500 of the
// system folder's DLLs, read and noted as a real process's modules are.
// bench/process_scale.sh runs this under Wine.
//   bench_process_scale.exe [processes (2000)] [modules per process (60)]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>
#include "core/background_jobs.h"
#include "core/process_modules.h"
#include "core/seams.h"
#include "app/app_state.h"
#include "app/process_list.h"
#include "app/process_window.h"
#include "app/row_details.h"
#include "resource.h"

namespace {

struct MadeUpProcess {
    DWORD processId;
    std::wstring name;
    std::wstring path;
};

std::vector<MadeUpProcess> processes;
std::unordered_map<DWORD, std::wstring> pathOf;
std::vector<std::wstring> files;
std::vector<std::wstring> libraries;
const size_t DISTINCT_MODULES = 500;
int modulesPerProcess = 60;
DWORD nextProcessId = 100000;

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

void AddMadeUpProcess()
{
    const std::wstring& path = files[processes.size() % files.size()];
    processes.push_back({nextProcessId, path.substr(path.find_last_of(L'\\') + 1), path});
    pathOf[nextProcessId] = path;
    nextProcessId += 4;
}

bool WalkMadeUpProcesses(ProcessVisitor visit, void* context)
{
    PROCESSENTRY32W entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (const MadeUpProcess& process : processes) {
        entry.th32ProcessID = process.processId;
        lstrcpynW(entry.szExeFile, process.name.c_str(), MAX_PATH);
        visit(&entry, context);
    }
    return true;
}

BOOL WINAPI EnumMadeUpProcesses(DWORD* ids, DWORD bytes, DWORD* returned)
{
    DWORD count = 0;
    for (const MadeUpProcess& process : processes) {
        if ((count + 1) * sizeof(DWORD) > bytes)
            break;
        ids[count++] = process.processId;
    }
    *returned = count * sizeof(DWORD);
    return TRUE;
}

HANDLE WINAPI OpenNoProcess(DWORD, BOOL, DWORD)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return NULL;
}

bool MadeUpPath(const PROCESSENTRY32W* entry, wchar_t* exePath)
{
    auto found = pathOf.find(entry->th32ProcessID);
    return found != pathOf.end() && lstrcpynW(exePath, found->second.c_str(), MAX_PATH) != NULL;
}

// The same modules for a PID every time, spread over the distinct files.
void ReadMadeUpModules(HANDLE, DWORD processId, const wchar_t*, ProcessModuleList* list)
{
    ZeroMemory(list, sizeof(*list));
    size_t distinct = std::min(libraries.size(), DISTINCT_MODULES);
    list->modules = (ProcessModule*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                              (modulesPerProcess + 1) * sizeof(ProcessModule));
    if (!list->modules || distinct == 0) {
        list->state = MODULES_UNREADABLE;
        return;
    }
    list->state = MODULES_READ;
    for (int i = 0; i < modulesPerProcess && (size_t)i < distinct; ++i) {
        const std::wstring& path = libraries[(processId / 4 * 7 + (size_t)i * 13) % distinct];
        lstrcpynW(list->modules[list->count].path, path.c_str(), MAX_PATH);
        list->modules[list->count++].inLoaderList = true;
    }
    list->total = list->count;
}

// Every .dll and .exe of the system folder, the rows' files; the DLLs are the modules.
void FindSystemFiles()
{
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    for (const wchar_t* pattern : {L"\\*.dll", L"\\*.exe"}) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((std::wstring(folder) + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            files.push_back(std::wstring(folder) + L"\\" + found.cFileName);
            if (pattern[3] == L'd')
                libraries.push_back(files.back());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

// Dispatches what is queued; returns the longest message's time in seconds.
// The longest message handled yet, and which it was.
double longestSeen;
UINT longestMessage;

double DispatchQueued()
{
    double longest = 0;
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        double began = Now();
        if (!HandleProcessWindowMessage(&message))
            DispatchMessageW(&message);
        longest = std::max(longest, Now() - began);
        if (longest > longestSeen) {
            longestSeen = longest;
            longestMessage = message.message;
        }
    }
    return longest;
}

// Committed private memory (Wine reports it as the pagefile usage, not PrivateUsage).
double PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof(counters));
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return (double)counters.PagefileUsage;
}

template <typename Action>
double MillisecondsOf(Action action)
{
    double start = Now();
    action();
    UpdateWindow(ProcessWindowHandle());
    return (Now() - start) * 1000;
}

void ClickColumn(HWND window, HWND list, int column)
{
    NMLISTVIEW notice;
    ZeroMemory(&notice, sizeof(notice));
    notice.hdr.hwndFrom = list;
    notice.hdr.idFrom = IDC_PROCESS_LIST;
    notice.hdr.code = LVN_COLUMNCLICK;
    notice.iItem = -1;
    notice.iSubItem = column;
    SendMessageW(window, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&notice);
}

// The same list view, sized and columned as the window's list, fed one
// constant text: what the platform's own control costs to draw, the floor
// under the window's figures.
const wchar_t BARE_CLASS[] = L"BenchBareList";

LRESULT CALLBACK BareProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && ((NMHDR*)lParam)->code == LVN_GETDISPINFOW) {
        NMLVDISPINFOW* display = (NMLVDISPINFOW*)lParam;
        if ((display->item.mask & LVIF_TEXT) && display->item.cchTextMax > 0)
            lstrcpynW(display->item.pszText, L"C:\\Windows\\system32\\svchost.exe", display->item.cchTextMax);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void MeasureBareList(HWND window, HWND list)
{
    WNDCLASSW type;
    ZeroMemory(&type, sizeof(type));
    type.lpfnWndProc = BareProc;
    type.lpszClassName = BARE_CLASS;
    type.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    RegisterClassW(&type);
    RECT outer, inner;
    GetWindowRect(window, &outer);
    GetClientRect(list, &inner);
    HWND bare = CreateWindowExW(0, BARE_CLASS, L"bare", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, outer.left, outer.top,
                                outer.right - outer.left, outer.bottom - outer.top, NULL, NULL, NULL, NULL);
    HWND bareList = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                    WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0, 0, inner.right,
                                    inner.bottom, bare, NULL, NULL, NULL);
    SendMessageW(bareList, WM_SETFONT, SendMessageW(list, WM_GETFONT, 0, 0), 0);
    DWORD extended = (DWORD)SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(bareList, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < columns; ++i) {
        LVCOLUMNW column;
        ZeroMemory(&column, sizeof(column));
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0);
        column.pszText = (LPWSTR)L"Column";
        SendMessageW(bareList, LVM_INSERTCOLUMNW, i, (LPARAM)&column);
    }
    SendMessageW(bareList, LVM_SETITEMCOUNT, 2000, 0);
    double shownAt = Now();
    ShowWindow(bare, SW_SHOWNOACTIVATE);
    UpdateWindow(bare);
    double shown = (Now() - shownAt) * 1000;
    std::vector<double> paints;
    for (int i = 0; i < 10; ++i) {
        double start = Now();
        InvalidateRect(bareList, NULL, TRUE);
        UpdateWindow(bareList);
        paints.push_back((Now() - start) * 1000);
    }
    std::sort(paints.begin(), paints.end());
    std::vector<double> cuts;
    for (int i = 0; i < 5; ++i) {
        SendMessageW(bareList, LVM_SETITEMCOUNT, 2000, LVSICF_NOSCROLL);
        UpdateWindow(bareList);
        double start = Now();
        SendMessageW(bareList, LVM_SETITEMCOUNT, 36, LVSICF_NOSCROLL);
        UpdateWindow(bareList);
        cuts.push_back((Now() - start) * 1000);
    }
    std::sort(cuts.begin(), cuts.end());
    printf("the platform's own list view, the same size and columns, one constant text: shown and first drawn %.1f ms; "
           "drawn whole median %.1f ms; 2000 rows cut to 36 and drawn, median of 5 %.1f ms\n",
           shown, paints[5], cuts[2]);
    DestroyWindow(bare);
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    modulesPerProcess = argc > 2 ? std::max(0, atoi(argv[2])) : 60;
    appState.instance = GetModuleHandleW(NULL);
    setvbuf(stdout, NULL, _IONBF, 0);
    FindSystemFiles();
    if (files.empty()) {
        printf("no files in the system folder\n");
        return 1;
    }
    for (int i = 0; i < count; ++i)
        AddMadeUpProcess();
    seams.walkProcesses = WalkMadeUpProcesses;
    seams.enumProcessIds = EnumMadeUpProcesses;
    seams.openProcess = OpenNoProcess;
    seams.processPathSource = MadeUpPath;
    seams.readProcessModules = ReadMadeUpModules;
    printf("%d made-up processes over %d distinct files of the system folder, each loading %d of %d DLLs\n", count,
           (int)std::min(files.size(), (size_t)count), std::min(modulesPerProcess, (int)libraries.size()),
           (int)std::min(libraries.size(), DISTINCT_MODULES));

    // The process's first window pays once for the shell's icons, the common
    // controls and the folder table; the second opening is what the rows cost.
    double memoryBefore = PrivateBytes();
    double cold = MillisecondsOf([] { ShowProcessWindow(); });
    // Five openings, each after the last one's reads have run out, so that
    // none shares the machine with them; the last stays open for the rest.
    std::vector<double> openings;
    for (int i = 0; i < 5; ++i) {
        CloseProcessWindow();
        while (IsJobLaneBusy(LANE_READS)) {
            DispatchQueued();
            MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
        }
        DispatchQueued();
        openings.push_back(MillisecondsOf([] { ShowProcessWindow(); }));
    }
    longestSeen = 0;
    HWND window = ProcessWindowHandle();
    HWND list = GetDlgItem(window, IDC_PROCESS_LIST);
    HWND filter = GetDlgItem(window, IDC_PROCESS_FILTER);
    std::vector<double> sorted = openings;
    std::sort(sorted.begin(), sorted.end());
    printf("first display: median %.1f ms, least %.1f, most %.1f of 5 openings, %d rows (the process's very first "
           "window: %.1f ms)\n",
           sorted[2], sorted[0], sorted[4], (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), cold);

    // Every row's file, command line and payload read in the background (one
    // lane: the payload reads are among what it waits for), the window answering meanwhile.
    double start = Now();
    double longest = 0;
    while (AreRowDetailsPending()) {
        longest = std::max(longest, DispatchQueued());
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
    longest = std::max(longest, DispatchQueued());
    printf("every row's details, signer, command line, payload and modules read in %.0f ms; the longest message meanwhile %.1f ms (message 0x%04X)\n",
           (Now() - start) * 1000, longest * 1000, longestMessage);
    printf("memory: %.0f bytes per row (private bytes over the window's opening and reads; a row record is %u)\n",
           (PrivateBytes() - memoryBefore) / count, (unsigned)sizeof(ProcessRow));

    std::vector<double> unchanged;
    for (int i = 0; i < 50; ++i)
        unchanged.push_back(MillisecondsOf([] { RefreshProcessWindow(); }));
    std::sort(unchanged.begin(), unchanged.end());
    printf("refresh with nothing changed (50 runs): median %.2f ms, max %.2f ms\n", unchanged[25], unchanged.back());

    processes.erase(processes.begin() + count / 3, processes.begin() + count / 3 + 100);
    for (int i = 0; i < 100; ++i)
        AddMadeUpProcess();
    printf("refresh with 100 gone and 100 new: %.1f ms\n", MillisecondsOf([] { RefreshProcessWindow(); }));
    while (AreRowDetailsPending()) {
        DispatchQueued();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
    DispatchQueued();

    for (int column = 1; column <= COLUMN_COUNT; ++column) {
        int sorted = column % COLUMN_COUNT;  // the name's column last, back to the first order
        printf("sort by column %d: %.1f ms\n", sorted, MillisecondsOf([&] { ClickColumn(window, list, sorted); }));
    }
    // The rows are counted after the keystroke: a call's arguments have no order.
    for (const wchar_t* typed : {L"s", L"sh"}) {
        double milliseconds = MillisecondsOf([&] { SetWindowTextW(filter, typed); });
        printf("filter keystroke \"%ls\": %.1f ms, %d rows\n", typed, milliseconds,
               (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    }
    // The same keystroke four times more, from "s" each time: its median.
    std::vector<double> keystrokes;
    for (int i = 0; i < 4; ++i) {
        SetWindowTextW(filter, L"s");
        UpdateWindow(window);
        keystrokes.push_back(MillisecondsOf([&] { SetWindowTextW(filter, L"sh"); }));
    }
    std::sort(keystrokes.begin(), keystrokes.end());
    printf("filter keystroke \"sh\" from \"s\", median of 4: %.1f ms\n", (keystrokes[1] + keystrokes[2]) / 2);
    std::vector<double> paints;
    for (int i = 0; i < 10; ++i)
        paints.push_back(MillisecondsOf([&] { InvalidateRect(list, NULL, TRUE); }));
    std::sort(paints.begin(), paints.end());
    printf("the list drawn whole: median %.1f ms, max %.1f ms\n", paints[5], paints.back());
    MeasureBareList(window, list);
    CloseProcessWindow();
    return 0;
}
