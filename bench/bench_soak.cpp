// A long run of the real Tavrowen2.exe beside the stand-in Task Manager:
// Task Manager opened and closed again and again (some closed as a user
// would, some killed, some hung and then killed), with clicks on the strip in
// between, the first half with "SendExtendedInfo" off and the second half
// with it on. Every 20 cycles the program's kernel handle count (from the
// system-wide handle list) and its resident memory (VmRSS from /proc, read
// through Wine's Z: drive) are read from outside and printed.
//   bench_soak.exe [cycles, default 200; 500 clicks per 200 cycles]
// Targets: no failed attach or click, no growth in handles, memory within 2 %
// of where it stood after the first 20 cycles.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "core/settings.h"
#include "core/lookup_url.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

const int REPORT_EVERY = 20;
// Clicks over a 200-cycle run; a shorter run gets its share.
const int CLICKS_PER_200_CYCLES = 500;
const DWORD ATTACH_WAIT_MS = 15000;
const DWORD CLICK_WAIT_MS = 20000;
// Rows naming running processes, so that clicks locate and fingerprint them.
const wchar_t rows[] = L"/names:Tavrowen2.exe|explorer.exe|taskmgr.exe *32|services.exe|no-such-process.exe";
const wchar_t* rowNames[] = {L"Tavrowen2.exe", L"explorer.exe", L"taskmgr.exe", L"services.exe",
                             L"no-such-process.exe"};

enum class Ending { close, kill, hangThenKill };

// Of every 10 cycles: 1 hung then killed, 2 or 3 killed (50 in 200), the rest closed.
Ending EndingOf(int cycle)
{
    if (cycle % 10 == 3)
        return Ending::hangThenKill;
    if (cycle % 4 == 1 || (cycle % 20 == 7))
        return Ending::kill;
    return Ending::close;
}

int CountEndings(int cycles, Ending ending)
{
    int count = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle)
        count += EndingOf(cycle) == ending;
    return count;
}

// The Linux process id of the Wine process running `exeName` in our prefix.
std::string UnixProcessOf(const wchar_t* exeName)
{
    std::string wanted = NarrowUtf8(exeName);
    wchar_t prefix[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    std::string prefixEntry = "WINEPREFIX=" + NarrowUtf8(prefix);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    std::string found;
    do {
        if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9')
            continue;
        std::wstring dir = std::wstring(L"Z:\\proc\\") + entry.cFileName;
        std::string commandLine = ReadFileText((dir + L"\\cmdline").c_str());
        if (commandLine.find(wanted) == std::string::npos)
            continue;
        std::string environment = ReadFileText((dir + L"\\environ").c_str());
        if (!prefix[0] || environment.find(prefixEntry + '\0') != std::string::npos) {
            found = NarrowUtf8(entry.cFileName);
            break;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

// VmRSS in KiB, or -1.
long ResidentKib(const std::string& unixProcess)
{
    if (unixProcess.empty())
        return -1;
    std::string status = ReadFileText(WidenUtf8("Z:\\proc\\" + unixProcess + "\\status").c_str());
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : atol(status.c_str() + at + 6);
}

struct Soak {
    PROCESS_INFORMATION program = {};
    std::wstring taskManagerPath;
    int attachFailures = 0;
    int clickFailures = 0;
    int clicks = 0;
    size_t addresses = 0;
    POINT lastClick = {-1, -1};
    DWORD lastClickTime = 0;
};

// The strip once it lies in the page and has been sized to the rows (a new
// strip, made after Task Manager was killed, starts with no size).
HWND StripIn(const StandInTaskManager& standIn)
{
    HWND strip = standIn.page ? FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL) : NULL;
    RECT rect;
    return strip && GetWindowRect(strip, &rect) && rect.bottom > rect.top ? strip : NULL;
}

// One click beside a row; true when the address for that row was opened.
bool ClickRow(Soak* soak, const StandInTaskManager& standIn, HWND strip, int row)
{
    RECT stripRect;
    RECT rowRect = standIn.RowScreenRect(row);
    if (!GetWindowRect(strip, &stripRect))
        return false;
    POINT point = {stripRect.left + 5, (rowRect.top + rowRect.bottom) / 2};
    // A second press at the same spot within the double-click time is a
    // double click, which opens nothing more: wait it out.
    if (point.x == soak->lastClick.x && point.y == soak->lastClick.y) {
        DWORD since = GetTickCount() - soak->lastClickTime;
        if (since <= GetDoubleClickTime())
            PumpMessagesFor(GetDoubleClickTime() - since + 100);
    }
    ClickScreenPoint(point.x, point.y);
    soak->lastClick = point;
    soak->lastClickTime = GetTickCount();
    ++soak->clicks;
    if (!WaitForRecordedAddresses(soak->addresses + 1, CLICK_WAIT_MS)) {
        RECT now = {};
        GetWindowRect(strip, &now);
        wchar_t className[64] = L"";
        GetClassNameW(WindowFromPoint(point), className, ARRAYSIZE(className));
        printf("  no address within %lu ms (click at %ld,%ld; strip %ld,%ld-%ld,%ld; window there: %s)\n",
               CLICK_WAIT_MS, point.x, point.y, now.left, now.top, now.right, now.bottom,
               NarrowUtf8(className).c_str());
        return false;
    }
    std::vector<std::wstring> recorded = ReadRecordedAddresses();
    bool extra = recorded.size() > soak->addresses + 1;
    soak->addresses = recorded.size();
    std::wstring expected = std::wstring(lookupBaseAddress) + rowNames[row] + L"?";
    if (extra || recorded.back().compare(0, expected.size(), expected) != 0) {
        printf("  opened %s%s\n", NarrowUtf8(recorded.back()).c_str(), extra ? " (and more)" : "");
        return false;
    }
    return true;
}

// Back under the program's main window (a killed Task Manager takes the old
// strip with it, and the program makes a new one).
bool Detached()
{
    HWND main = FindMainWindow();
    return main && FindWindowExW(main, NULL, L"LinksMarlet", NULL) && FindWindowExW(main, NULL, L"MarletSpy", NULL);
}

void RunCycle(Soak* soak, int cycle, int clicksThisCycle)
{
    StandInTaskManager standIn;
    if (!standIn.Start(rows, soak->taskManagerPath)) {
        ++soak->attachFailures;
        printf("cycle %d: Task Manager did not start\n", cycle);
        return;
    }
    HWND strip = NULL;
    if (!WaitUntil([&] { return (strip = StripIn(standIn)) != NULL; }, ATTACH_WAIT_MS, 20)) {
        ++soak->attachFailures;
        printf("cycle %d: the strip did not attach\n", cycle);
    } else {
        SetForegroundWindow(standIn.window);
        for (int i = 0; i < clicksThisCycle; ++i) {
            int row = (cycle + i) % (int)ARRAYSIZE(rowNames);
            if (!ClickRow(soak, standIn, strip, row)) {
                ++soak->clickFailures;
                printf("cycle %d: click beside row %d opened no lookup for it\n", cycle, row);
            }
        }
    }
    switch (EndingOf(cycle)) {
    case Ending::close:
        standIn.Close();
        break;
    case Ending::kill:
        standIn.Kill();
        break;
    case Ending::hangThenKill:
        standIn.Hang(STANDIN_HANG_DEFAULT_MS);
        PumpMessagesFor(1500);  // the watches ask the hung list meanwhile
        standIn.Kill();
        break;
    }
    if (!WaitUntil(Detached, 10000, 20))
        printf("cycle %d: the strip did not come back after Task Manager ended\n", cycle);
}

int Fail(const char* what, PROCESS_INFORMATION* program)
{
    printf("bench_soak: %s\n", what);
    if (program->hProcess)
        TerminateProcess(program->hProcess, 1);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    int cycles = argc > 1 ? atoi(argv[1]) : 200;
    if (cycles < REPORT_EVERY)
        cycles = REPORT_EVERY;
    // Keeps Wine's desktop up while we watch.
    CreateWindowExW(0, L"STATIC", L"bench", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);

    Soak soak;
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    soak.taskManagerPath = std::wstring(system) + L"\\taskmgr.exe";
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsKeyPath, L"SendExtendedInfo");
    ClearRecordedAddresses();
    if (!StartTavrowen(L"Tavrowen2.exe", L"/autostart", &soak.program))
        return Fail("cannot start Tavrowen2.exe", &soak.program);
    std::string unixProcess = UnixProcessOf(L"Tavrowen2.exe");

    const int clicks = CLICKS_PER_200_CYCLES * cycles / 200;
    printf("%d cycles, %d clicks; Tavrowen2.exe is Linux process %s\n", cycles, clicks,
           unixProcess.empty() ? "(not found)" : unixProcess.c_str());
    printf("%8s %8s %10s %8s %12s %12s %10s\n", "cycles", "handles", "VmRSS KiB", "clicks", "attach fails",
           "click fails", "seconds");
    DWORD start = GetTickCount();
    size_t baseHandles = 0;
    long baseResident = -1;
    size_t lastHandles = 0;
    long lastResident = -1;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        if (cycle == cycles / 2 + 1)
            SetDwordValue(HKEY_CURRENT_USER, settingsKeyPath, L"SendExtendedInfo", 1);
        // Spreads the clicks evenly over the cycles.
        int clicksThisCycle = clicks * cycle / cycles - clicks * (cycle - 1) / cycles;
        RunCycle(&soak, cycle, clicksThisCycle);
        if (cycle % REPORT_EVERY != 0)
            continue;
        PumpMessagesFor(1000);  // let the program settle before it is measured
        lastHandles = CountProcessHandles(soak.program.dwProcessId);
        lastResident = ResidentKib(unixProcess);
        if (cycle == REPORT_EVERY) {
            baseHandles = lastHandles;
            baseResident = lastResident;
        }
        printf("%8d %8u %10ld %8d %12d %12d %10lu\n", cycle, (unsigned)lastHandles, lastResident, soak.clicks,
               soak.attachFailures, soak.clickFailures, (GetTickCount() - start) / 1000);
    }
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsKeyPath, L"SendExtendedInfo");

    printf("endings: %d closed, %d killed, %d hung then killed\n", CountEndings(cycles, Ending::close),
           CountEndings(cycles, Ending::kill), CountEndings(cycles, Ending::hangThenKill));
    printf("failed attaches %d, failed clicks %d of %d\n", soak.attachFailures, soak.clickFailures, soak.clicks);
    printf("handles after %d cycles: %u, after %d: %u (change %+d)\n", REPORT_EVERY, (unsigned)baseHandles, cycles,
           (unsigned)lastHandles, (int)lastHandles - (int)baseHandles);
    if (baseResident > 0 && lastResident > 0)
        printf("VmRSS after %d cycles: %ld KiB, after %d: %ld KiB (change %+.2f%%)\n", REPORT_EVERY, baseResident,
               cycles, lastResident, 100.0 * (lastResident - baseResident) / baseResident);

    DWORD exitCode = ShutDownTavrowen(&soak.program);
    printf("Tavrowen2.exe exit code after /shutdown: %lu\n", exitCode);
    return soak.attachFailures || soak.clickFailures ? 2 : 0;
}
