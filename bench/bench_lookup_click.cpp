// What a click on the strip costs the user, timed from outside the program:
// the program is started beside the stand-in Task Manager with a row for a
// large executable (given), then for each round:
//   floor     a click beside a row whose process does not run, so no file
//             is read: accessibility, the shell and the browser's start;
//   first     a click beside the large executable's row;
//   second    the same click again (answered from the cache where there is one);
// each timed from the click until the recorder (the browser) has the
// address, while another thread probes MainWindow with WM_NULL every 20 ms.
// The program is started anew for every round, so every first click reads.
//   bench_lookup_click.exe PROGRAM TARGET [ROUNDS (default 5)]
// PROGRAM: the Tavrowen2.exe to drive; TARGET: the large executable, named
// bigtarget.exe (a copy of locator_target.exe, padded).
#include <windows.h>
#include <shellapi.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "standin_client.h"
#include "test_support.h"

namespace {

const wchar_t settingsPath[] = L"Software\\Veltrix\\Tavrowen2";
const DWORD PROBE_PERIOD_MS = 20;
const DWORD PROBE_LIMIT_MS = 5000;
const UINT WM_SHUTDOWN_REQUEST_MESSAGE = WM_APP + 0x21;

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (double)count.QuadPart / (double)frequency.QuadPart;
}

// Probes a window from its own thread while a click is timed.
struct Prober {
    HWND window;
    volatile LONG running;
    double worstMs;
    int probes;
    int over50;
    HANDLE thread;
};

DWORD WINAPI RunProber(LPVOID parameter)
{
    Prober* prober = (Prober*)parameter;
    while (prober->running) {
        double start = Now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(prober->window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, PROBE_LIMIT_MS, &result);
        double took = Now() - start;
        prober->worstMs = std::max(prober->worstMs, took);
        prober->probes += 1;
        prober->over50 += took > 50.0;
        Sleep(PROBE_PERIOD_MS);
    }
    return 0;
}

struct Timing {
    double clickToAddressMs;
    double worstProbeMs;
    int probes;
    int over50;
};

class Bench {
public:
    bool Start(const std::wstring& program, const std::wstring& target)
    {
        SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1);
        if (!StartLocatorTarget(target, L"", &targetProcess)) {
            printf("cannot start %ls\n", target.c_str());
            return false;
        }
        if (!standIn.Start(L"/names:idle.exe|bigtarget.exe|other.exe")) {
            printf("cannot start the stand-in Task Manager\n");
            return false;
        }
        standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
        this->program = program;
        return true;
    }

    bool StartProgram()
    {
        if (!::StartProgram(program, L"/autostart", &process))
            return false;
        if (!WaitUntil([] { return FindMainWindow() != NULL; }, 20000))
            return false;
        mainWindow = FindMainWindow();
        return WaitUntil([&] { return (strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL)) != NULL; },
                         30000);
    }

    void EndProgram() { ShutDownTavrowen(&process); }

    // Clicks the large executable's row, asks the program to quit 100 ms
    // later (inside the read), and times its end. *opened: whether the
    // address still arrived.
    bool ExitDuringLookup(double* exitMs, bool* opened)
    {
        SetForegroundWindow(standIn.window);
        PumpMessagesFor(GetDoubleClickTime() + 200);
        RECT rowRect = standIn.RowScreenRect(1);
        RECT stripRect = {};
        GetWindowRect(strip, &stripRect);
        size_t before = ReadRecordedAddresses().size();
        ClickScreenPoint((stripRect.left + stripRect.right) / 2, (rowRect.top + rowRect.bottom) / 2);
        Sleep(100);
        double start = Now();
        PostMessageW(mainWindow, WM_SHUTDOWN_REQUEST_MESSAGE, 0, 0);
        bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        *exitMs = Now() - start;
        ::EndProgram(&process);
        PumpMessagesFor(2000);
        *opened = ReadRecordedAddresses().size() > before;
        return ended;
    }

    // Clicks beside a row and times the address's arrival at the recorder.
    bool Click(int row, Timing* timing)
    {
        SetForegroundWindow(standIn.window);
        PumpMessagesFor(GetDoubleClickTime() + 200);
        RECT rowRect = standIn.RowScreenRect(row);
        int y = (rowRect.top + rowRect.bottom) / 2;
        RECT stripRect = {};
        GetWindowRect(strip, &stripRect);
        if (y < stripRect.top || y >= stripRect.bottom)
            return false;
        size_t before = ReadRecordedAddresses().size();

        Prober prober = {mainWindow, 1, 0.0, 0, 0, NULL};
        prober.thread = CreateThread(NULL, 0, RunProber, &prober, 0, NULL);
        double start = Now();
        ClickScreenPoint((stripRect.left + stripRect.right) / 2, y);
        bool arrived = false;
        for (;;) {
            arrived = ReadRecordedAddresses().size() > before;
            if (arrived || Now() - start > 120000)
                break;
            Sleep(1);
        }
        timing->clickToAddressMs = Now() - start;
        InterlockedExchange(&prober.running, 0);
        WaitForSingleObject(prober.thread, INFINITE);
        CloseHandle(prober.thread);
        timing->worstProbeMs = prober.worstMs;
        timing->probes = prober.probes;
        timing->over50 = prober.over50;
        return arrived;
    }

    void Finish()
    {
        standIn.Kill();
        ::EndProgram(&targetProcess);
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }

private:
    std::wstring program;
    PROCESS_INFORMATION targetProcess = {};
    PROCESS_INFORMATION process = {};
    StandInTaskManager standIn;
    HWND mainWindow = NULL;
    HWND strip = NULL;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintTiming(const char* name, const Timing& timing)
{
    printf("  %-7s click to address %8.1f ms, worst MainWindow probe %7.1f ms (%d probes, %d over 50 ms)\n", name,
           timing.clickToAddressMs, timing.worstProbeMs, timing.probes, timing.over50);
}

}  // namespace

int main()
{
    setvbuf(stdout, NULL, _IONBF, 0);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) {
        printf("usage: bench_lookup_click PROGRAM TARGET [ROUNDS]\n");
        return 2;
    }
    int rounds = argc > 3 ? _wtoi(argv[3]) : 5;
    if (rounds < 1)
        rounds = 1;
    // Keeps Wine's desktop up while we watch.
    CreateWindowExW(0, L"STATIC", L"bench", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);

    Bench bench;
    if (!bench.Start(argv[1], argv[2])) {
        bench.Finish();
        return 1;
    }
    printf("program %ls\n", argv[1]);
    std::vector<double> floors, firsts, seconds, firstProbes, secondProbes, exits;
    int exitsOpening = 0;
    double worstProbe = 0;
    int failed = 0;
    for (int round = 1; round <= rounds; ++round) {
        if (!bench.StartProgram()) {
            printf("round %d: the program did not start or attach\n", round);
            bench.EndProgram();
            ++failed;
            continue;
        }
        Timing floor = {}, first = {}, second = {};
        bool clicked = bench.Click(2, &floor) && bench.Click(1, &first) && bench.Click(1, &second);
        bench.EndProgram();
        if (!clicked) {
            printf("round %d: a click brought no address\n", round);
            ++failed;
            continue;
        }
        printf("round %d:\n", round);
        PrintTiming("floor", floor);
        PrintTiming("first", first);
        PrintTiming("second", second);
        double exitMs = 0;
        bool opened = false;
        if (bench.StartProgram() && bench.ExitDuringLookup(&exitMs, &opened)) {
            printf("  exit 100 ms into a first click: ended after %.1f ms, address %s\n", exitMs,
                   opened ? "opened" : "not opened");
            exits.push_back(exitMs);
            exitsOpening += opened;
        } else {
            printf("  exit 100 ms into a first click: the program did not start or end\n");
            bench.EndProgram();
            ++failed;
        }
        floors.push_back(floor.clickToAddressMs);
        firsts.push_back(first.clickToAddressMs);
        seconds.push_back(second.clickToAddressMs);
        firstProbes.push_back(first.worstProbeMs);
        secondProbes.push_back(second.worstProbeMs);
        worstProbe = std::max(worstProbe, std::max(first.worstProbeMs, second.worstProbeMs));
    }
    bench.Finish();
    printf("medians over %d rounds: floor %.1f ms, first click %.1f ms, second click %.1f ms; "
           "second minus floor %.1f ms\n",
           (int)floors.size(), Median(floors), Median(firsts), Median(seconds), Median(seconds) - Median(floors));
    printf("worst MainWindow probe: first clicks %.1f ms (median of rounds), second clicks %.1f ms, "
           "worst of all %.1f ms\n",
           Median(firstProbes), Median(secondProbes), worstProbe);
    printf("exit during a lookup: median %.1f ms after the request; the address opened in %d of %d\n", Median(exits),
           exitsOpening, (int)exits.size());
    return failed ? 1 : 0;
}
