// "/report": the real program run as an administrator's script would run it,
// beside a program of ours and a planted Run value. The reports are left in
// TAVROWEN_REPORT_OUT for tests/report/check_report.py, which parses them,
// checks them against docs/report-schema.json and finds these items in them.
#include <windows.h>
#include <gtest/gtest.h>
#include <fstream>
#include <string>
#include <vector>
#include "core/ordered_reads.h"
#include "lookup/report_files.h"
#include "test_support.h"

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t RUN_VALUE[] = L"TavrowenReportProbe";

std::wstring OutputFolder()
{
    wchar_t folder[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TAVROWEN_REPORT_OUT", folder, MAX_PATH);
    std::wstring windows = std::wstring(L"Z:") + folder;
    for (wchar_t& c : windows)
        if (c == L'/')
            c = L'\\';
    return windows;
}

// In the user's temp folder, where the notes have something to say.
std::wstring PlaceProgram(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"tavrowen-report";
    CreateDirectoryW(folder.c_str(), NULL);
    std::wstring path = folder + L"\\" + name;
    EXPECT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), path.c_str(), FALSE));
    return path;
}

struct WindowSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK NoteVisibleWindow(HWND window, LPARAM context)
{
    WindowSearch* search = (WindowSearch*)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    search->found = search->found || (owner == search->processId && IsWindowVisible(window));
    return TRUE;
}

bool HasVisibleWindow(DWORD processId)
{
    WindowSearch search = {processId, false};
    EnumWindows(NoteVisibleWindow, (LPARAM)&search);
    return search.found;
}

// Runs Tavrowen2.exe with the arguments, its standard error into `errors`;
// the exit code. Meanwhile it must show no window and make no main window.
DWORD RunReport(const std::wstring& arguments, std::string* errors)
{
    std::wstring log = OutputFolder() + L"\\stderr.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOW startup = {sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = startup.hStdOutput = file;
    std::wstring line = L"\"" + BinPath(L"Tavrowen2.exe") + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process));
    CloseHandle(file);
    bool windowSeen = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT && GetTickCount() - start < 120000)
        windowSeen = windowSeen || FindWindowW(L"Tavrowen2", NULL) || HasVisibleWindow(process.dwProcessId);
    EXPECT_FALSE(windowSeen) << "a window during " << NarrowUtf8(arguments);
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, STILL_ACTIVE);
    WaitForSingleObject(process.hProcess, 5000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    *errors = ReadFileText(log.c_str());
    return code;
}

// Readers that take a while, in no fixed order, each item into its slot.
struct Ordering {
    volatile LONG started;
    volatile LONG handed;
    volatile LONG mostAhead;
    volatile LONG slotsOverwritten;
    int window;
    std::vector<int> handedItems;
};

void ReadSlowly(void* context, int item, void* slot)
{
    Ordering* ordering = (Ordering*)context;
    LONG ahead = InterlockedIncrement(&ordering->started) - ordering->handed;
    for (LONG most = ordering->mostAhead; ahead > most; most = ordering->mostAhead)
        InterlockedCompareExchange(&ordering->mostAhead, ahead, most);
    *(int*)slot = item;
    Sleep((item * 7) % 4);
    if (*(int*)slot != item)
        InterlockedIncrement(&ordering->slotsOverwritten);
}

void HandInTurn(void* context, int item, void* slot)
{
    Ordering* ordering = (Ordering*)context;
    ordering->handedItems.push_back(*(int*)slot == item ? item : -1);
    InterlockedIncrement(&ordering->handed);
}

struct SharedFiles {
    ReportFiles* table;
    std::vector<std::wstring>* paths;
    FileEvidence evidence[8][3];
};

struct FileAsker {
    SharedFiles* shared;
    int reader;
};

// Each thread asks for the three files, each starting with another one.
DWORD WINAPI AskForFiles(LPVOID parameter)
{
    SharedFiles* shared = ((FileAsker*)parameter)->shared;
    int reader = ((FileAsker*)parameter)->reader;
    FileEvidenceSource source = ReportFilesSource(shared->table);
    for (int round = 0; round < 3; ++round) {
        int file = (reader + round) % 3;
        const std::wstring& path = (*shared->paths)[file];
        source.read(source.context, path.c_str(), path.c_str(), &shared->evidence[reader][file]);
    }
    return 0;
}

}  // namespace

// A report reads on several threads: what is handed on comes in order, from
// its own slot, never more than the window ahead; a file that many threads
// want at once is read once, and each of them gets its evidence.
TEST(Report, ReadsOnManyThreadsHandInOrderAndReadEachFileOnce)
{
    Ordering ordering = {};
    ordering.window = 5;
    OrderedReads reads = {300, 8, ordering.window, sizeof(int), &ordering, ReadSlowly, HandInTurn};
    ASSERT_TRUE(RunOrderedReads(&reads));
    ASSERT_EQ(300u, ordering.handedItems.size());
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(i, ordering.handedItems[i]);
    EXPECT_LE(ordering.mostAhead, ordering.window);
    EXPECT_GT(ordering.mostAhead, 1) << "the items were read one at a time";
    EXPECT_EQ(0, ordering.slotsOverwritten);

    std::vector<std::wstring> paths = {BinPath(L"Tavrowen2.exe"), BinPath(L"idle_process.exe"),
                                       BinPath(L"test_report.exe")};
    ReportFiles table;
    StartReportFiles(&table);
    SharedFiles shared = {&table, &paths, {}};
    FileAsker starts[8];
    HANDLE threads[8];
    for (int i = 0; i < 8; ++i) {
        starts[i] = {&shared, i};
        threads[i] = CreateThread(NULL, 0, AskForFiles, &starts[i], 0, NULL);
        ASSERT_TRUE(threads[i] != NULL);
    }
    WaitForMultipleObjects(8, threads, TRUE, INFINITE);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(3, table.reads);
    EXPECT_EQ(3, table.count);
    for (int file = 0; file < 3; ++file) {
        ASSERT_TRUE(shared.evidence[0][file].digests.valid) << NarrowUtf8(paths[file]);
        for (int reader = 1; reader < 8; ++reader)
            EXPECT_STREQ(shared.evidence[0][file].digests.digestHex, shared.evidence[reader][file].digests.digestHex);
    }
    FreeReportFiles(&table);
}

TEST(Report, WritesJsonCsvAndBaselineAndSaysWhatFails)
{
    std::wstring out = OutputFolder();
    CreateDirectoryW(out.c_str(), NULL);
    std::wstring target = PlaceProgram(L"report_target.exe");
    std::wstring probe = PlaceProgram(L"report_probe.exe");
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN, RUN_VALUE, REG_SZ, (L"\"" + probe + L"\" --at-logon").c_str(),
                                   (DWORD)((probe.size() + 14) * sizeof(wchar_t))));
    PROCESS_INFORMATION first = {}, later = {};
    ASSERT_TRUE(StartProgram(target, L"--report-probe \"quoted \\\"arg\\\"\"", &first));
    Sleep(500);

    std::string errors;
    EXPECT_EQ(0u, RunReport(L"/report \"" + out + L"\\first.json\"", &errors)) << errors;
    std::wstring laterPath = PlaceProgram(L"report_later.exe");
    ASSERT_TRUE(StartProgram(laterPath, L"", &later));
    Sleep(500);
    EXPECT_EQ(0u, RunReport(L"/report \"" + out + L"\\second.json\" /baseline \"" + out + L"\\first.json\"", &errors))
        << errors;
    EXPECT_EQ(0u, RunReport(L"/report \"" + out + L"\\report.csv\"", &errors)) << errors;

    // A folder that is not there: nothing written, the reason said.
    EXPECT_EQ(1u, RunReport(L"/report \"" + out + L"\\missing\\x.json\"", &errors));
    EXPECT_NE(std::string::npos, errors.find("Tavrowen 2 cannot write")) << errors;
    EXPECT_EQ(2u, RunReport(L"/report \"" + out + L"\\x.txt\"", &errors));
    EXPECT_EQ(2u, RunReport(L"/report", &errors));
    EXPECT_EQ(1u, RunReport(L"/report \"" + out + L"\\y.json\" /baseline \"" + out + L"\\report.csv\"", &errors));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((out + L"\\y.json").c_str()));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((out + L"\\*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << "a temporary file was left";
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);

    // What the checker looks for: the files' own bytes to hash, and the facts.
    EXPECT_TRUE(CopyFileW(target.c_str(), (out + L"\\target.bin").c_str(), FALSE));
    std::ofstream facts(NarrowUtf8(out + L"\\facts.txt").c_str(), std::ios::binary);
    facts << "pid=" << first.dwProcessId << "\nparentPid=" << GetCurrentProcessId() << "\npath=" << NarrowUtf8(target)
          << "\nlaterPath=" << NarrowUtf8(laterPath) << "\nprobePath=" << NarrowUtf8(probe)
          << "\nrunValue=" << NarrowUtf8(RUN_VALUE) << "\n";
    facts.close();
    EndProgram(&first);
    EndProgram(&later);
    DeleteRegistryValue(HKEY_CURRENT_USER, RUN, RUN_VALUE);
}
