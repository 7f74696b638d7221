// The version and token questions and the hand-over to the elevated companion.
//
// Wine gives every process a full elevated token, so the unelevated Vista case
// runs in a child copy of this program with the token question replaced; the
// hand-over ends that child, and its exit code tells how it ended.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <shlobj.h>
#include "core/seams.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "app/app_state.h"
#include "app/main_window.h"
#include "app/elevation.h"
#include "app/tray_menu.h"
#include "resource.h"
#include "taskmgr/attachment.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const char childCaseVariable[] = "TAVROWEN_HANDOVER_CASE";
// Exit codes of a child that came back from the call instead of ending in it.
const DWORD RETURNED_FROM_HANDOVER = 3;
const DWORD WENT_ON = 5;
const DWORD STAYED_ON_XP = 7;

DWORD reportedMajor = 6;
DWORD reportedPlatform = VER_PLATFORM_WIN32_NT;
BOOL versionResult = TRUE;
DWORD tokenElevation = 0;
BOOL tokenResult = TRUE;

BOOL WINAPI ReportVersion(LPOSVERSIONINFOW version)
{
    if (version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW))
        return FALSE;
    version->dwMajorVersion = reportedMajor;
    version->dwMinorVersion = 0;
    version->dwPlatformId = reportedPlatform;
    return versionResult;
}

BOOL WINAPI ReportToken(HANDLE, TOKEN_INFORMATION_CLASS information, LPVOID data, DWORD length, PDWORD returned)
{
    if (information != (TOKEN_INFORMATION_CLASS)20 || length != sizeof(DWORD))
        return FALSE;
    *(DWORD*)data = tokenElevation;
    *returned = sizeof(DWORD);
    return tokenResult;
}

void ReplaceQuestions(bool version, bool token)
{
    if (version)
        seams.getVersion = ReportVersion;
    if (token)
        seams.getTokenInformation = ReportToken;
}

void RestoreQuestions()
{
    seams.getVersion = GetVersionExW;
    seams.getTokenInformation = GetTokenInformation;
    reportedMajor = 6;
    reportedPlatform = VER_PLATFORM_WIN32_NT;
    versionResult = TRUE;
    tokenElevation = 0;
    tokenResult = TRUE;
}

TEST(Questions, VersionAndTokenAnswers)
{
    // Wine's default: Windows 7 with a full token.
    EXPECT_TRUE(IsVistaOrLater());
    EXPECT_TRUE(IsElevated());

    ReplaceQuestions(true, true);
    const struct {
        DWORD major, platform;
        BOOL result;
        bool vista;
    } versions[] = {
        {5, VER_PLATFORM_WIN32_NT, TRUE, false},  {6, VER_PLATFORM_WIN32_NT, TRUE, true},
        {10, VER_PLATFORM_WIN32_NT, TRUE, true},  {6, VER_PLATFORM_WIN32_WINDOWS, TRUE, false},
        {6, VER_PLATFORM_WIN32_NT, FALSE, false},
    };
    for (const auto& v : versions) {
        reportedMajor = v.major;
        reportedPlatform = v.platform;
        versionResult = v.result;
        EXPECT_EQ(v.vista, IsVistaOrLater()) << "major " << v.major << ", platform " << v.platform << ", call "
                                             << (v.result ? "succeeded" : "failed");
    }
    const struct {
        DWORD elevation;
        BOOL result;
        bool elevated;
    } tokens[] = {{0, TRUE, false}, {1, TRUE, true}, {2, TRUE, true}, {1, FALSE, false}};
    for (const auto& t : tokens) {
        tokenElevation = t.elevation;
        tokenResult = t.result;
        EXPECT_EQ(t.elevated, IsElevated()) << "elevation " << t.elevation << ", call "
                                            << (t.result ? "succeeded" : "failed");
    }
    RestoreQuestions();
}

// ---- Child side -------------------------------------------------------------

// Runs only in a child copy started by the tests below.
TEST(HandOverChild, Run)
{
    const char* which = getenv(childCaseVariable);
    if (!which)
        GTEST_SKIP() << "runs only as a child copy";
    std::string handOverCase = which;
    ZeroMemory(&attachment.view, sizeof(attachment.view));
    if (handOverCase == "double-click") {
        ReplaceQuestions(true, true);
        TrayCallback(WM_LBUTTONDBLCLK);
        ExitProcess(RETURNED_FROM_HANDOVER);
    } else if (handOverCase == "companion-missing") {
        ReplaceQuestions(true, true);
        ShowOrStartTaskManager();
        ExitProcess(WENT_ON);
    } else if (handOverCase == "winxp") {
        ReplaceQuestions(false, true);
        if (IsVistaOrLater())
            ExitProcess(1);
        RelaunchElevated();
        ExitProcess(STAYED_ON_XP);
    } else if (handOverCase == "missing-companion") {
        ReplaceQuestions(true, true);
        RelaunchElevated();
        ExitProcess(WENT_ON);
    } else if (handOverCase == "splash-start-up") {
        // From the desktop, the splash screen first; what start-up left behind
        // is told by the exit code: 10 for the attach timer, 20 for the tray icon.
        ReplaceQuestions(true, true);
        int code = RunTavrowen(GetModuleHandleW(NULL), L"", 0);
        HWND mainWindow = appState.mainWindow;
        bool timer = mainWindow && TimerRunning(mainWindow, ATTACH_TIMER, AttachTimerProc);
        bool icon = mainWindow && TrayIconExists(mainWindow);
        ExitProcess(100 + code + (timer ? 10 : 0) + (icon ? 20 : 0));
    } else if (handOverCase == "resident") {
        // Started at logon: no hand-over until Task Manager is asked for.
        ReplaceQuestions(true, true);
        ExitProcess(RunTavrowen(GetModuleHandleW(NULL), L"/autostart", 0) + 100);
    } else if (handOverCase == "start-up") {
        // The whole program, as an unelevated copy started from the desktop.
        ReplaceQuestions(true, true);
        ExitProcess(RunTavrowen(GetModuleHandleW(NULL), L"", 0) + 100);
    }
    FAIL() << "unknown case " << handOverCase;
}

// ---- Parent side ------------------------------------------------------------

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

class HandOver : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileW(probeLogPath);
        SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA(childCaseVariable, NULL);
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        if (!replacedTaskManager.empty())
            MoveFileExW((replacedTaskManager + L".saved").c_str(), replacedTaskManager.c_str(),
                        MOVEFILE_REPLACE_EXISTING);
    }

    // A directory holding a copy of this program and, as asked, a stand-in for
    // the companion; the system's Task Manager, which the program starts by its
    // full path, is replaced by the probe while the test runs.
    std::wstring MakeDirectory(const wchar_t* name, const wchar_t* companionSource, bool taskManagerProbe,
                               bool userWritable = false)
    {
        // Under Program Files, where only administrators can change the companion.
        wchar_t programFiles[MAX_PATH] = L"";
        SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, 0, programFiles);
        std::wstring base = userWritable ? L"C:\\tavrowen-test" : std::wstring(programFiles) + L"\\tavrowen-test";
        std::wstring directory = base + L"\\" + name;
        CreateDirectoryW(base.c_str(), NULL);
        CreateDirectoryW(directory.c_str(), NULL);
        child = directory + L"\\" + name + L".exe";
        EXPECT_TRUE(CopyFileW(OwnModulePath().c_str(), child.c_str(), FALSE));
        if (companionSource) {
            EXPECT_TRUE(CopyFileW(companionSource, (directory + L"\\Tavrowen2Admin.exe").c_str(), FALSE));
        }
        wchar_t system[MAX_PATH];
        if (taskManagerProbe && BuildNativeSystemPath(L"taskmgr.exe", system, ARRAYSIZE(system))) {
            replacedTaskManager = system;
            EXPECT_TRUE(CopyFileW(system, (replacedTaskManager + L".saved").c_str(), FALSE));
            // Deleted first: the prefixes share the system folders' files through
            // hard links, and writing into this one would change them all.
            EXPECT_TRUE(DeleteFileW(system));
            EXPECT_TRUE(CopyFileW(BinPath(L"shell_probe.exe").c_str(), system, FALSE));
        }
        return directory;
    }
    DWORD RunChild(const char* which, PROCESS_INFORMATION* process = NULL, const wchar_t* workingDirectory = NULL)
    {
        SetEnvironmentVariableA(childCaseVariable, which);
        PROCESS_INFORMATION own;
        PROCESS_INFORMATION* started = process ? process : &own;
        bool running = StartProgram(child, L"--gtest_filter=HandOverChild.Run", started, workingDirectory);
        SetEnvironmentVariableA(childCaseVariable, NULL);
        if (!running)
            return 0xDEAD;
        if (process)
            return STILL_ACTIVE;
        DWORD code = WaitForExit(own, 30000);
        EndProgram(&own);
        return code;
    }
    std::wstring child;
    std::wstring replacedTaskManager;
};

TEST_F(HandOver, UnelevatedOnVistaADoubleClickStartsTheCompanionAndEnds)
{
    std::wstring directory = MakeDirectory(L"handover_child", BinPath(L"shell_probe.exe").c_str(), false);
    EXPECT_EQ(0u, RunChild("double-click")) << "3: the copy went on after the hand-over";
    ASSERT_TRUE(WaitUntil([] { return !ReadProbeRecords().empty(); }, 10000)) << "the companion never started";
    std::vector<std::wstring> fields = SplitFields(ReadProbeRecords().front());
    ASSERT_GE(fields.size(), 2u);
    EXPECT_TRUE(SameText(directory + L"\\Tavrowen2Admin.exe", fields[0])) << NarrowUtf8(fields[0]);
    EXPECT_TRUE(SameText(directory, WithoutTrailingBackslash(fields[1]))) << "working directory "
                                                                         << NarrowUtf8(fields[1]);
}

// A folder the user's own programs can change, as a per-user install's (under
// Wine every file is the user's): the companion there is never started.
TEST_F(HandOver, ACompanionTheUserCanChangeIsNotStarted)
{
    MakeDirectory(L"writable_child", BinPath(L"shell_probe.exe").c_str(), true, true);
    EXPECT_EQ(RETURNED_FROM_HANDOVER, RunChild("double-click")) << "0: it handed over";
    // It goes on by itself and starts Task Manager (the probe too) instead.
    ASSERT_TRUE(WaitUntil([] { return !ReadProbeRecords().empty(); }, 10000)) << "nothing was started";
    PumpMessagesFor(1000);
    for (const std::wstring& record : ReadProbeRecords())
        EXPECT_EQ(std::wstring::npos, record.find(L"Tavrowen2Admin.exe")) << "started: " << NarrowUtf8(record);
}

TEST_F(HandOver, WithTheCompanionMissingItGoesOnAndStartsTaskManagerInTheSystemFolder)
{
    MakeDirectory(L"missing_child", NULL, true);
    EXPECT_EQ(WENT_ON, RunChild("companion-missing"));
    ASSERT_TRUE(WaitUntil([] { return !ReadProbeRecords().empty(); }, 10000)) << "Task Manager was not started";
    std::vector<std::wstring> records = ReadProbeRecords();
    ASSERT_EQ(1u, records.size());
    std::vector<std::wstring> fields = SplitFields(records.front());
    ASSERT_EQ(4u, fields.size());
    EXPECT_TRUE(fields[0].size() >= 11 && SameText(fields[0].substr(fields[0].size() - 11), L"taskmgr.exe"))
        << NarrowUtf8(fields[0]);
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_TRUE(SameText(system, WithoutTrailingBackslash(fields[1]))) << "Task Manager's working directory "
                                                                       << NarrowUtf8(fields[1]);
    EXPECT_EQ(std::to_wstring(STARTF_USESHOWWINDOW), fields[2]) << "start-up flags";
    EXPECT_EQ(std::to_wstring(SW_SHOWNORMAL), fields[3]) << "show command";
}

TEST_F(HandOver, OnWindowsXpNoHandOverIsTried)
{
    MakeDirectory(L"xp_child", BinPath(L"shell_probe.exe").c_str(), false);
    SetWindowsVersionFor(L"xp_child.exe", L"winxp");
    EXPECT_EQ(STAYED_ON_XP, RunChild("winxp")) << "1: the child did not see Windows XP";
    SetWindowsVersionFor(L"xp_child.exe", NULL);
    PumpMessagesFor(1500);
    EXPECT_TRUE(ReadProbeRecords().empty()) << "the companion was started on Windows XP";
}

// The real companion takes over while the copy that started it still holds the
// instance mutex, and does not call itself a second instance.
TEST_F(HandOver, TheRealCompanionTakesOverFromACopyStartedFromTheDesktop)
{
    MakeDirectory(L"startup_child", BinPath(L"Tavrowen2Admin.exe").c_str(), false);
    PROCESS_INFORMATION first;
    ASSERT_EQ(STILL_ACTIVE, RunChild("start-up", &first));
    EXPECT_EQ(0u, WaitForExit(first, 30000)) << "the unelevated copy did not end by handing over";
    EndProgram(&first);

    HWND mainWindow = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (mainWindow = FindMainWindow()) != NULL && TrayIconExists(mainWindow); },
                          20000))
        << "the companion did not take over";
    DWORD companionId = WindowProcessId(mainWindow);
    HANDLE companion = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, companionId);
    ASSERT_TRUE(companion != NULL);
    EXPECT_TRUE(ProcessWindows(companionId, L"#32770", L"Tavrowen2").empty()) << "the companion said already running";

    // The companion, elevated, goes on to start Task Manager itself (slowly
    // where 32-bit programs run emulated and the suite runs in parallel).
    HWND taskManager = WaitForTopWindow(L"#32770", L"Windows Task Manager", 45000);
    EXPECT_TRUE(taskManager != NULL) << "the companion did not start Task Manager";

    PROCESS_INFORMATION companionInfo = {};
    companionInfo.hProcess = companion;
    EXPECT_EQ(1u, ShutDownTavrowen(&companionInfo));
    if (taskManager) {
        DWORD id = WindowProcessId(taskManager);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

// With the companion missing beside the program, nothing of that name is
// started from the working directory or the PATH, where a search would look.
TEST_F(HandOver, AMissingCompanionIsNotSoughtInTheWorkingDirectoryOrOnThePath)
{
    MakeDirectory(L"decoy_child", NULL, false);
    const std::wstring workingDirectory = L"C:\\tavrowen-test\\decoy_work";
    const std::wstring pathDirectory = L"C:\\tavrowen-test\\decoy_path";
    for (const std::wstring& directory : {workingDirectory, pathDirectory}) {
        CreateDirectoryW(directory.c_str(), NULL);
        ASSERT_TRUE(CopyFileW(BinPath(L"shell_probe.exe").c_str(), (directory + L"\\Tavrowen2Admin.exe").c_str(), FALSE));
    }
    std::vector<wchar_t> path(32767, L'\0');
    GetEnvironmentVariableW(L"PATH", path.data(), (DWORD)path.size());
    std::wstring savedPath = path.data();
    SetEnvironmentVariableW(L"PATH", (pathDirectory + L";" + savedPath).c_str());
    DWORD code = RunChild("missing-companion", NULL, workingDirectory.c_str());
    SetEnvironmentVariableW(L"PATH", savedPath.c_str());

    EXPECT_EQ(WENT_ON, code) << "0: another file of the companion's name was started and the copy ended";
    PumpMessagesFor(1500);
    std::vector<std::wstring> records = ReadProbeRecords();
    EXPECT_TRUE(records.empty()) << "started: " << NarrowUtf8(records.front());
}

HWND FindSplashOf(DWORD processId)
{
    for (HWND dialog : ProcessWindows(processId, L"#32770"))
        if (GetDlgItem(dialog, IDC_SPLASH_NOSHOW))
            return dialog;
    return NULL;
}

// "/shutdown" while the splash screen holds start-up: start-up goes no further.
// Left to go on, an unelevated copy on Vista would hand over to the companion.
TEST_F(HandOver, AShutdownUnderTheSplashScreenEndsStartUpThere)
{
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);  // the splash screen is offered
    MakeDirectory(L"splash_child", BinPath(L"shell_probe.exe").c_str(), true);
    PROCESS_INFORMATION process;
    ASSERT_EQ(STILL_ACTIVE, RunChild("splash-start-up", &process));
    bool splashShown = WaitUntil([&] { return FindSplashOf(process.dwProcessId) != NULL; }, 20000);
    EXPECT_TRUE(splashShown) << "no splash screen";
    EXPECT_TRUE(FindMainWindow() != NULL);
    if (splashShown) {
        PROCESS_INFORMATION sender;
        ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), L"/shutdown", &sender));
        EXPECT_EQ(0u, WaitForExit(sender, 15000)) << "the sender's exit code";
        EndProgram(&sender);
    }
    DWORD code = WaitForExit(process, 30000);
    EndProgram(&process);
    EXPECT_EQ(101u, code) << "0: it handed over; +10: the attach timer runs; +20: a tray icon was added";
    PumpMessagesFor(1500);
    std::vector<std::wstring> records = ReadProbeRecords();
    EXPECT_TRUE(records.empty()) << "started after the shutdown: " << NarrowUtf8(records.front());
}

// While the About box or the search dialog is open, asking for Task Manager
// neither hands over nor shows Task Manager; once they are closed it hands over.
TEST_F(HandOver, NoneWhileADialogIsOpenOnlyOnceItIsClosed)
{
    std::wstring directory = MakeDirectory(L"resident_child", BinPath(L"shell_probe.exe").c_str(), true);
    PROCESS_INFORMATION process;
    ASSERT_EQ(STILL_ACTIVE, RunChild("resident", &process));
    HWND mainWindow = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (mainWindow = FindMainWindow()) != NULL && TrayIconExists(mainWindow); },
                          20000))
        << "no tray icon";

    const struct {
        WORD command;
        const wchar_t* caption;
    } dialogs[] = {{IDM_ABOUT, L"About Tavrowen 2"}, {IDM_SEARCH, L"Search Kestrava"}};
    for (const auto& dialog : dialogs) {
        std::string name = NarrowUtf8(dialog.caption);
        PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(dialog.command, 0), 0);
        std::vector<HWND> open;
        ASSERT_TRUE(WaitUntil([&] { return !(open = ProcessWindows(process.dwProcessId, L"#32770", dialog.caption)).empty(); },
                              10000))
            << name << " did not open";
        // Sent, not posted: each has been handled, or has ended the copy, when the call returns.
        DWORD_PTR result = 0;
        SendMessageTimeoutW(mainWindow, WM_TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK, SMTO_NORMAL, 10000, &result);
        SendMessageTimeoutW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TASK_MANAGER, 0), 0, SMTO_NORMAL, 10000, &result);
        EXPECT_EQ(STILL_ACTIVE, WaitForExit(process, 500)) << "handed over under " << name;
        PumpMessagesFor(1000);
        std::vector<std::wstring> records = ReadProbeRecords();
        EXPECT_TRUE(records.empty()) << "started under " << name << ": " << NarrowUtf8(records.front());
        EXPECT_TRUE(IsWindow(open.front())) << name;
        PostMessageW(open.front(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(open.front()); }, 10000)) << name << " did not close";
    }

    PostMessageW(mainWindow, WM_TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(0u, WaitForExit(process, 15000)) << "no hand-over once the dialogs were closed";
    EndProgram(&process);
    ASSERT_TRUE(WaitUntil([] { return !ReadProbeRecords().empty(); }, 10000)) << "the companion never started";
    std::vector<std::wstring> records = ReadProbeRecords();
    EXPECT_EQ(1u, records.size()) << "Task Manager was started as well";
    EXPECT_TRUE(SameText(directory + L"\\Tavrowen2Admin.exe", SplitFields(records.front())[0]))
        << NarrowUtf8(records.front());
    // That the icon goes before the end cannot be seen here: Wine's tray drops
    // the icons of a dead process's windows by itself.
}

}  // namespace
