// Lookups off the window thread: in this process, the addresses equal the
// query's on one thread and come in click order, a stop during a read opens
// nothing and leaves nothing, and the strip shows the busy cursor; through
// the real program beside the stand-in Task Manager, a click beside a
// 1 GiB executable leaves both windows answering, three quick clicks open
// three addresses in order, and an exit during a lookup ends at once.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <strsafe.h>
#include <tlhelp32.h>
#include <algorithm>
#include <string>
#include <vector>
#include "core/seams.h"
#include "taskmgr/attachment.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "app/app_state.h"
#include "core/file_fingerprint.h"
#include "core/lookup_url.h"
#include "core/background_jobs.h"
#include "lookup/process_lookup.h"
#include "lookup/process_details.h"
#include "lookup/version_resource.h"
#include "standin_client.h"
#include "taskmgr/link_strip.h"
#include "taskmgr/task_manager_view.h"
#include "test_support.h"

namespace {

const wchar_t settingsPath[] = L"Software\\Veltrix\\Tavrowen2";
const wchar_t switchName[] = L"SendExtendedInfo";
const unsigned long long BIG_SIZE = 256ull * 1024 * 1024;
// The program's large executable: MD5 alone takes a second over it on any
// machine, twice the probes' limit, where a window left free answers in a
// few milliseconds.
const unsigned long long PROBED_SIZE = 1024ull * 1024 * 1024;

void SetSwitch(DWORD value)
{
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, value));
}

// The address the query on the caller's thread opens for the same lookup.
std::wstring SequentialAddress(const wchar_t* name, const std::wstring& path /* empty: not located */)
{
    LookupUrl url;
    StartLookupUrl(&url, name);
    if (!path.empty()) {
        wchar_t buffer[MAX_PATH];
        StringCchCopyW(buffer, ARRAYSIZE(buffer), path.c_str());
        AppendProcessDetails(buffer, ReadSetting(extendedInfoSetting), &url);
    }
    AppendVersionTag(&url);
    return url.text;
}

// Makes the file `size` bytes long; the end is a hole, read as zeros.
bool Extend(const std::wstring& path, unsigned long long size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)size;
    bool extended = SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return extended;
}

std::string Narrow(const std::wstring& text)
{
    return NarrowUtf8(text);
}

// ---- Lookups run in this process ----------------------------------------------

std::vector<std::wstring> opened;
std::vector<DWORD> openingThreads;

HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    opened.push_back(file ? file : L"");
    openingThreads.push_back(GetCurrentThreadId());
    return (HINSTANCE)33;
}

volatile LONG readCount;
volatile LONG readsOnThisThread;
DWORD testThread;

BOOL WINAPI CountedRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    InterlockedIncrement(&readCount);
    if (GetCurrentThreadId() == testThread)
        InterlockedIncrement(&readsOnThisThread);
    return ReadFile(file, buffer, size, read, overlapped);
}

// A slow disk: a lookup of a large file stays pending for many seconds.
BOOL WINAPI SlowRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    Sleep(5);
    return CountedRead(file, buffer, size, read, overlapped);
}

class Worker : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        CreateDirectoryW(L"C:\\tavrowen-test", NULL);
        directory = L"C:\\tavrowen-test\\worker";
        CreateDirectoryW(directory.c_str(), NULL);
        appState.mainWindow = CreateLookupResultWindow();
        attachment.owner = appState.mainWindow;
        ASSERT_TRUE(appState.mainWindow != NULL);
        ReopenBackgroundJobs();
        opened.clear();
        openingThreads.clear();
        readCount = 0;
        readsOnThisThread = 0;
        testThread = GetCurrentThreadId();
        seams.shellExecute = RecordOpen;
        seams.readFile = CountedRead;
    }
    void TearDown() override
    {
        StopBackgroundJobs();
        DestroyWindow(appState.mainWindow);
        appState.mainWindow = NULL;
        attachment.owner = NULL;
        for (const std::wstring& path : made)
            DeleteFileW(path.c_str());
        RemoveDirectoryW(directory.c_str());
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    std::wstring CopyIn(const wchar_t* program, const wchar_t* name)
    {
        std::wstring path = directory + L"\\" + name;
        EXPECT_TRUE(CopyFileW(BinPath(program).c_str(), path.c_str(), FALSE)) << Narrow(path);
        made.push_back(path);
        return path;
    }
    std::wstring MakeBig(const wchar_t* name)
    {
        std::wstring path = directory + L"\\" + name;
        made.push_back(path);
        EXPECT_TRUE(Extend(path, BIG_SIZE)) << Narrow(path);
        return path;
    }
    std::wstring directory;
    std::vector<std::wstring> made;
};

TEST_F(Worker, LookupsOpenTheSequentialAddressesInClickOrder)
{
    std::wstring sample = CopyIn(L"version_sample.exe", L"example.exe");
    std::wstring blank = CopyIn(L"version_blank.exe", L"blank.exe");
    std::wstring missing = directory + L"\\missing.exe";

    // What the query on one thread opens, with the switch as each click sees it.
    SetSwitch(1);
    std::vector<std::wstring> expected = {SequentialAddress(L"example.exe", sample),
                                          SequentialAddress(L"blank.exe", blank)};
    SetSwitch(0);
    expected.push_back(SequentialAddress(L"missing.exe", missing));
    expected.push_back(SequentialAddress(L"gone.exe", L""));
    expected.push_back(SequentialAddress(L"example.exe", sample));
    ASSERT_NE(std::wstring::npos, expected[0].find(L"&path=")) << Narrow(expected[0]);
    opened.clear();
    readsOnThisThread = 0;

    SetSwitch(1);
    LookUpProcess(L"example.exe", sample.c_str(), appState.mainWindow, ReadSetting(extendedInfoSetting));
    LookUpProcess(L"blank.exe", blank.c_str(), appState.mainWindow, ReadSetting(extendedInfoSetting));
    EXPECT_TRUE(IsLookupPending());
    // Read at the click: switching off now changes only the later clicks.
    SetSwitch(0);
    LookUpProcess(L"missing.exe", missing.c_str(), appState.mainWindow, ReadSetting(extendedInfoSetting));
    LookUpProcess(L"gone.exe", NULL, appState.mainWindow, ReadSetting(extendedInfoSetting));
    LookUpProcess(L"example.exe", sample.c_str(), appState.mainWindow, ReadSetting(extendedInfoSetting));
    EXPECT_TRUE(opened.empty()) << "LookUpProcess opened an address before returning";

    ASSERT_TRUE(WaitUntil([] { return !IsLookupPending(); }, 60000)) << opened.size() << " of 5 opened";
    ASSERT_EQ(expected.size(), opened.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Narrow(expected[i]), Narrow(opened[i])) << "lookup " << i + 1;
    EXPECT_EQ(0, readsOnThisThread) << "the files were read on the window thread";
    for (DWORD thread : openingThreads)
        EXPECT_EQ(testThread, thread) << "an address was opened on another thread";
}

// A folder whose escaped form overflows the address: neither the window's
// lookup nor the one without a window opens an address, which would
// otherwise pass for another file's.
TEST_F(Worker, AFolderThatDoesNotFitTheAddressOpensNothingWithOrWithoutAWindow)
{
    // Two folders: the Unix side takes at most 255 bytes a name.
    std::wstring outer = directory + L"\\" + std::wstring(100, L'\x436');
    std::wstring deep = outer + L"\\" + std::wstring(100, L'\x436');
    ASSERT_TRUE(CreateDirectoryW(outer.c_str(), NULL) && CreateDirectoryW(deep.c_str(), NULL));
    std::wstring path = deep + L"\\example.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"version_sample.exe").c_str(), path.c_str(), FALSE));
    for (HWND window : {appState.mainWindow, (HWND)NULL}) {
        opened.clear();
        ASSERT_TRUE(LookUpProcess(L"example.exe", path.c_str(), window, false));
        ASSERT_TRUE(WaitUntil([] { return !IsLookupPending(); }, 30000));
        PumpMessagesFor(100);
        EXPECT_TRUE(opened.empty()) << (window ? "with" : "without") << " a window: " << Narrow(opened[0]);
    }
    DeleteFileW(path.c_str());
    RemoveDirectoryW(deep.c_str());
    RemoveDirectoryW(outer.c_str());
}

TEST_F(Worker, StopDuringAReadOpensNothingAndLeavesNothingBehind)
{
    std::wstring big = MakeBig(L"big.exe");
    const size_t handlesBefore = CountProcessHandles(GetCurrentProcessId());
    ASSERT_GT(handlesBefore, 0u) << "the handle list is not available";

    seams.readFile = SlowRead;
    LookUpProcess(L"big.exe", big.c_str(), appState.mainWindow, ReadSetting(extendedInfoSetting));
    LookUpProcess(L"gone.exe", NULL, appState.mainWindow, ReadSetting(extendedInfoSetting));
    ASSERT_TRUE(WaitUntil([] { return readCount >= 3; }, 30000)) << "the worker never read";
    StopBackgroundJobs();
    // A stop that gave up waiting for the thread would leave the lookup pending.
    EXPECT_FALSE(IsLookupPending());
    LONG readsAtStop = readCount;
    EXPECT_LT(readsAtStop, (LONG)(BIG_SIZE / 65536)) << "the whole file was read";
    PumpMessagesFor(300);
    EXPECT_EQ(readsAtStop, readCount) << "reading went on after the stop";
    EXPECT_TRUE(opened.empty()) << "opened " << Narrow(opened.empty() ? L"" : opened[0]);

    // Read and posted, not yet opened: the stop takes the message back.
    ReopenBackgroundJobs();
    LookUpProcess(L"gone.exe", NULL, appState.mainWindow, ReadSetting(extendedInfoSetting));
    MSG message;
    DWORD waited = GetTickCount();
    while (!PeekMessageW(&message, appState.mainWindow, WM_LOOKUP_FINISHED, WM_LOOKUP_FINISHED, PM_NOREMOVE) &&
           GetTickCount() - waited < 30000)
        Sleep(10);
    EXPECT_TRUE(IsLookupPending());
    StopBackgroundJobs();
    EXPECT_FALSE(PeekMessageW(&message, appState.mainWindow, WM_LOOKUP_FINISHED, WM_LOOKUP_FINISHED, PM_NOREMOVE))
        << "a finished lookup stayed in the queue";
    EXPECT_FALSE(IsLookupPending());
    PumpMessagesFor(200);
    EXPECT_TRUE(opened.empty());
    // The worker's thread and event are closed.
    EXPECT_LE(CountProcessHandles(GetCurrentProcessId()), handlesBefore);

    // Once stopped (shutdown has begun), a click let in during it starts nothing.
    seams.readFile = CountedRead;
    LookUpProcess(L"gone.exe", NULL, appState.mainWindow, ReadSetting(extendedInfoSetting));
    EXPECT_FALSE(IsLookupPending());
    PumpMessagesFor(200);
    EXPECT_TRUE(opened.empty());
    EXPECT_LE(CountProcessHandles(GetCurrentProcessId()), handlesBefore) << "a worker started after the stop";
    ReopenBackgroundJobs();
    LookUpProcess(L"gone.exe", NULL, appState.mainWindow, ReadSetting(extendedInfoSetting));
    EXPECT_TRUE(WaitUntil([] { return !IsLookupPending(); }, 30000));
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"gone.exe?qaver=2.0", opened[0]);
}

TEST_F(Worker, StripShowsTheBusyCursorWhileALookupIsPending)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(CreateLinkStripWindow(parent));
    HCURSOR busy = LoadCursorW(NULL, IDC_APPSTARTING);
    HCURSOR hand = LoadCursorW(NULL, IDC_HAND);
    auto cursorAfterSetCursor = [&] {
        SetCursor(NULL);
        SendMessageW(attachment.linkStrip, WM_SETCURSOR, (WPARAM)attachment.linkStrip, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    EXPECT_EQ(hand, cursorAfterSetCursor()) << "idle";

    seams.readFile = SlowRead;
    LookUpProcess(L"big.exe", MakeBig(L"big.exe").c_str(), appState.mainWindow, ReadSetting(extendedInfoSetting));
    EXPECT_EQ(busy, cursorAfterSetCursor()) << "while the lookup is pending";
    StopBackgroundJobs();
    EXPECT_EQ(hand, cursorAfterSetCursor()) << "after the stop";
    DestroyWindow(attachment.linkStrip);
    DestroyWindow(parent);
}

// ---- The real program beside the stand-in Task Manager -----------------------

bool ProcessRuns(const wchar_t* image)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
        found = lstrcmpiW(entry.szExeFile, image) == 0;
    CloseHandle(snapshot);
    return found;
}

int CountThreads(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

// Rows: idle.exe, bigtarget.exe (1 GiB), clicktarget.exe, other.exe (not running).
class BesideStandIn : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
        directory = ProgramFilesFolder() + L"\\Tavrowen Worker";
        CreateDirectoryW(directory.c_str(), NULL);
        VersionResource resource;
        resource.tables = {{L"040904b0", {{L"FileDescription", L"Large target"}, {L"FileVersion", L"1.2.3.4"}}}};
        big = directory + L"\\bigtarget.exe";
        small = directory + L"\\clicktarget.exe";
        ASSERT_TRUE(WriteVersionedCopy(BinPath(L"locator_target.exe"), big, resource));
        ASSERT_TRUE(Extend(big, PROBED_SIZE));
        ASSERT_TRUE(WriteVersionedCopy(BinPath(L"locator_target.exe"), small, resource));
        ASSERT_TRUE(StartLocatorTarget(big, L"", &bigProcess)) << "bigtarget.exe did not start";
        ASSERT_TRUE(StartLocatorTarget(small, L"", &smallProcess)) << "clicktarget.exe did not start";

        ASSERT_TRUE(standIn.Start(L"/names:idle.exe|bigtarget.exe|clicktarget.exe|other.exe"));
        standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
        ClearRecordedAddresses();
    }
    void TearDown() override
    {
        standIn.Kill();
        EndProgram(&bigProcess);
        EndProgram(&smallProcess);
        DeleteFileW(big.c_str());
        DeleteFileW(small.c_str());
        RemoveDirectoryW(directory.c_str());
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    // Clicks the strip beside a row; returns false when the strip does not reach it.
    bool ClickRow(int row)
    {
        RECT rowRect = standIn.RowScreenRect(row);
        int y = (rowRect.top + rowRect.bottom) / 2;
        RECT stripRect = {};
        bool reaches = WaitUntil([&] {
            GetWindowRect(strip, &stripRect);
            return y >= stripRect.top && y < stripRect.bottom;
        }, 5000);
        EXPECT_TRUE(reaches) << "the strip does not reach row " << row;
        if (reaches)
            ClickScreenPoint((stripRect.left + stripRect.right) / 2, y);
        return reaches;
    }
    // Brings the stand-in forward and lets the last click's double-click time pass.
    void PrepareClicks()
    {
        SetForegroundWindow(standIn.window);
        PumpMessagesFor(GetDoubleClickTime() + 200);
    }
    std::wstring directory;
    std::wstring big;
    std::wstring small;
    PROCESS_INFORMATION bigProcess = {};
    PROCESS_INFORMATION smallProcess = {};
    StandInTaskManager standIn;
    HWND strip = NULL;
};

// The real program, attached to the stand-in.
class BigClick : public BesideStandIn {
protected:
    void SetUp() override
    {
        BesideStandIn::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program));
        mainWindow = FindMainWindow();
        ASSERT_TRUE(WaitUntil([&] { return (strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL)) != NULL; },
                              30000))
            << "the link strip did not attach to the stand-in";
    }
    void TearDown() override
    {
        if (program.hProcess)
            ShutDownTavrowen(&program);
        BesideStandIn::TearDown();
    }
    PROCESS_INFORMATION program = {};
    HWND mainWindow = NULL;
};

// A strip of this process attached to the stand-in, its lookups opened here.
// Our own open records the order of the opens; the recorder cannot, as the
// browsers of two opens a moment apart race to write.
class OwnStrip : public BesideStandIn {
protected:
    void SetUp() override
    {
        BesideStandIn::SetUp();
        if (HasFatalFailure())
            return;
        parent = CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(CreateLinkStripWindow(parent));
        strip = attachment.linkStrip;
        ASSERT_TRUE(FindAttachedTaskManager());
        ASSERT_TRUE(SetParent(strip, standIn.page) != NULL);
        PositionLinkStrip();
        appState.mainWindow = CreateLookupResultWindow();
        attachment.owner = appState.mainWindow;
        ReopenBackgroundJobs();
        opened.clear();
        seams.shellExecute = RecordOpen;
    }
    void TearDown() override
    {
        StopBackgroundJobs();
        if (attachment.linkStrip)
            DestroyWindow(attachment.linkStrip);
        DestroyWindow(appState.mainWindow);
        appState.mainWindow = NULL;
        attachment.owner = NULL;
        DestroyWindow(parent);
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        BesideStandIn::TearDown();
    }
    HWND parent = NULL;
};

// One WM_NULL sent from here, timed; false when it was not answered in time.
bool Probe(HWND window, DWORD limitMs, DWORD* tookMs)
{
    DWORD_PTR result = 0;
    DWORD start = GetTickCount();
    bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, limitMs, &result) != 0;
    *tookMs = GetTickCount() - start;
    return answered;
}

TEST_F(BigClick, WindowsAnswerThroughoutAndTheAddressIsTheSequentialOne)
{
    SetSwitch(1);
    const std::wstring expected = SequentialAddress(L"bigtarget.exe", big);
    ASSERT_NE(std::wstring::npos, expected.find(L"&size=1073741824&")) << Narrow(expected);
    ASSERT_NE(std::wstring::npos, expected.find(L"&fd=Large%20target&")) << Narrow(expected);

    PrepareClicks();
    ASSERT_TRUE(ClickRow(1));
    // Probe both windows every 20 ms until the address arrives. On one
    // thread the hash holds them both for the whole read.
    const DWORD limitMs = 500;
    DWORD worstMain = 0, worstTaskManager = 0;
    int probes = 0, unanswered = 0;
    DWORD start = GetTickCount();
    while (ReadRecordedAddresses().empty() && GetTickCount() - start < 60000) {
        DWORD took = 0;
        unanswered += !Probe(mainWindow, limitMs, &took);
        worstMain = std::max(worstMain, took);
        unanswered += !Probe(standIn.window, limitMs, &took);
        worstTaskManager = std::max(worstTaskManager, took);
        ++probes;
        Sleep(20);
    }
    std::vector<std::wstring> addresses = ReadRecordedAddresses();
    ASSERT_EQ(1u, addresses.size()) << "no address within a minute";
    printf("%d probes over %lu ms; worst answer: MainWindow %lu ms, Task Manager %lu ms\n", probes,
           GetTickCount() - start, worstMain, worstTaskManager);
    EXPECT_EQ(0, unanswered) << "probes left unanswered for " << limitMs << " ms; worst MainWindow " << worstMain
                             << " ms, Task Manager " << worstTaskManager << " ms";
    EXPECT_GE(probes, 2) << "the lookup ended before it could be probed";
    EXPECT_EQ(Narrow(expected), Narrow(addresses[0]));
}

TEST_F(OwnStrip, ThreeQuickClicksOpenThreeAddressesInClickOrder)
{
    PrepareClicks();
    // Rows lie further apart than a double click may stray.
    ASSERT_TRUE(ClickRow(1));
    ASSERT_TRUE(ClickRow(2));
    ASSERT_TRUE(ClickRow(3));
    ASSERT_TRUE(WaitUntil([] { return opened.size() >= 3 && !IsLookupPending(); }, 60000))
        << opened.size() << " of 3 addresses";
    const std::vector<std::wstring>& addresses = opened;
    ASSERT_EQ(3u, addresses.size());
    const std::wstring base = lookupBaseAddress;
    EXPECT_EQ(0u, addresses[0].find(base + L"bigtarget.exe?lpath=")) << Narrow(addresses[0]);
    EXPECT_EQ(0u, addresses[1].find(base + L"clicktarget.exe?lpath=")) << Narrow(addresses[1]);
    EXPECT_EQ(base + L"other.exe?qaver=2.0", addresses[2]);
}

TEST_F(BigClick, ExitDuringALookupEndsPromptlyAndOpensNothing)
{
    const int threadsIdle = CountThreads(program.dwProcessId);
    PrepareClicks();
    ASSERT_TRUE(ClickRow(1));
    // The click has been taken once the worker thread is there.
    ASSERT_TRUE(WaitUntil([&] { return CountThreads(program.dwProcessId) > threadsIdle; }, 20000, 2))
        << "no worker thread started";
    DWORD start = GetTickCount();
    PostMessageW(mainWindow, WM_SHUTDOWN_REQUEST, 0, 0);
    DWORD code = WaitForExit(program, 20000);
    DWORD took = GetTickCount() - start;
    EndProgram(&program);
    printf("ended %lu ms after the shutdown request\n", took);
    EXPECT_EQ(1u, code) << "the program did not end in an orderly way";
    // The stop waits 2 s for a read at most; the rest is headroom for an
    // emulated 32-bit program (it ended within 0.1 s under qemu).
    EXPECT_LT(took, 5000u);

    // Time for an address that should not come.
    PumpMessagesFor(2000);
    EXPECT_TRUE(ReadRecordedAddresses().empty()) << "opened " << Narrow(ReadRecordedAddresses()[0]);
    EXPECT_TRUE(FindWindowW(NULL, L"Program Error") == NULL) << "a crash dialog is shown";
    EXPECT_FALSE(ProcessRuns(L"winedbg.exe")) << "the debugger was started for a crash";
    EXPECT_FALSE(ProcessRuns(L"Tavrowen2.exe")) << "a Tavrowen2.exe lingers";
}

}  // namespace
