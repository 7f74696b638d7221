// What keeping the strip attached costs: the CPU time of the running
// Tavrowen2.exe over a stretch while detached (no Task Manager: a discovery
// every 150 ms) and a stretch while attached (two list messages and one
// GetClientRect every 150 ms), each as a share of one core. Also the
// stand-in Task Manager's own time while attached, since it answers the
// list messages. Under Wine, GetProcessTimes gives every process the
// caller's own times, so there bench/attach_cost.sh reads the same stretches
// from /proc instead; this program then only marks the stretches.
//   bench_attach_cost.exe [seconds per stretch, default 60]
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring BinPath(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1) + name;
}

void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
}

bool Start(const std::wstring& path, const wchar_t* arguments, PROCESS_INFORMATION* process)
{
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, process) != 0;
}

double Seconds(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 1e7;
}

double CpuSeconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1;
    return Seconds(kernel) + Seconds(user);
}

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

struct Stretch {
    double program;
    double taskManager;
    double wall;
};

// CPU used by the program (and Task Manager, when given) over `seconds`.
Stretch Measure(const char* name, HANDLE program, HANDLE taskManager, int seconds)
{
    printf("phase %s begin\n", name);
    double wallStart = Now();
    double programStart = CpuSeconds(program);
    double taskManagerStart = taskManager ? CpuSeconds(taskManager) : 0;
    Pump(seconds * 1000);
    Stretch stretch;
    stretch.wall = Now() - wallStart;
    stretch.program = CpuSeconds(program) - programStart;
    stretch.taskManager = taskManager ? CpuSeconds(taskManager) - taskManagerStart : 0;
    printf("phase %s end\n", name);
    return stretch;
}

BOOL CALLBACK FindList(HWND child, LPARAM found)
{
    wchar_t className[64] = L"";
    GetClassNameW(child, className, 64);
    if (!wcscmp(className, L"SysListView32"))
        *(HWND*)found = child;
    return TRUE;
}

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

int Fail(const char* what, PROCESS_INFORMATION* program)
{
    printf("bench_attach_cost: %s\n", what);
    if (program->hProcess)
        TerminateProcess(program->hProcess, 1);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (seconds <= 0)
        seconds = 60;
    // Keeps Wine's desktop up while we watch.
    CreateWindowExW(0, L"STATIC", L"bench", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);

    PROCESS_INFORMATION program = {}, taskManager = {};
    if (!Start(BinPath(L"Tavrowen2.exe"), L"/autostart", &program))
        return Fail("cannot start Tavrowen2.exe", &program);
    DWORD start = GetTickCount();
    while (!FindWindowW(L"Tavrowen2", NULL) && GetTickCount() - start < 20000)
        Pump(50);
    if (!FindWindowW(L"Tavrowen2", NULL))
        return Fail("Tavrowen2.exe shows no main window", &program);
    Pump(2000);
    Stretch detached = Measure("detached", program.hProcess, NULL, seconds);

    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    if (!Start(std::wstring(system) + L"\\taskmgr.exe", L"/count:40", &taskManager))
        return Fail("cannot start Task Manager", &program);
    HWND strip = NULL;
    start = GetTickCount();
    while (!strip && GetTickCount() - start < 20000) {
        Pump(50);
        HWND window = FindWindowW(MAKEINTATOM(0x8002), L"Windows Task Manager");
        HWND list = NULL;
        if (window)
            EnumChildWindows(window, FindList, (LPARAM)&list);
        if (list)
            strip = FindWindowExW(GetParent(list), NULL, L"LinksMarlet", NULL);
    }
    if (!strip) {
        TerminateProcess(taskManager.hProcess, 1);
        return Fail("the strip did not attach", &program);
    }
    Pump(2000);
    Stretch attached = Measure("attached", program.hProcess, taskManager.hProcess, seconds);

    if (UnderWine()) {
        printf("Under Wine GetProcessTimes reports the caller's own times for any process: "
               "the figures come from /proc.\n");
    } else {
        printf("Tavrowen2.exe CPU while detached (discovery every 150 ms): %.3f s in %.1f s = %.2f%% of one core\n",
               detached.program, detached.wall, 100 * detached.program / detached.wall);
        printf("Tavrowen2.exe CPU while attached (watch timers every 150 ms): %.3f s in %.1f s = %.2f%% of one core\n",
               attached.program, attached.wall, 100 * attached.program / attached.wall);
        printf("Task Manager CPU while attached (answering the watch): %.3f s = %.2f%% of one core\n",
               attached.taskManager, 100 * attached.taskManager / attached.wall);
    }

    TerminateProcess(taskManager.hProcess, 0);
    TerminateProcess(program.hProcess, 0);
    CloseHandle(taskManager.hThread);
    CloseHandle(taskManager.hProcess);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    return 0;
}
