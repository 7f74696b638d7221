// Either build on 64-bit Windows: a process of the other bitness found by its
// image path, and the same file clicked from both builds. The other build's
// programs come from TAVROWEN_OTHER_BIN_DIR (test.sh builds both).
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "core/seams.h"
#include "core/executable_locator.h"
#include "core/lookup_url.h"
#include "lookup/system_md5.h"
#include "shell_support.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

const bool wideBuild = sizeof(void*) == 8;

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

// A program of the other build, through Wine's Z: drive; empty when missing.
std::wstring OtherBuildPath(const wchar_t* fileName)
{
    std::wstring path = L"Z:" + Variable(L"TAVROWEN_OTHER_BIN_DIR") + L"/" + fileName;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? L"" : path;
}
std::wstring WidePath(const wchar_t* fileName) { return wideBuild ? BinPath(fileName) : OtherBuildPath(fileName); }
std::wstring NarrowPath(const wchar_t* fileName) { return wideBuild ? OtherBuildPath(fileName) : BinPath(fileName); }

// A copy of one build's locator target, running from a folder of its own.
struct Target {
    ~Target()
    {
        EndProgram(&process);
        DeleteFileW(path.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    bool Start(const std::wstring& program, const std::wstring& directory, const wchar_t* name)
    {
        folder = directory;
        path = folder + L"\\" + name;
        CreateDirectoryW(folder.c_str(), NULL);
        return CopyFileW(program.c_str(), path.c_str(), FALSE) && StartLocatorTarget(path, L"", &process);
    }
    std::wstring folder, path;
    PROCESS_INFORMATION process = {};
};

#define SKIP_WITHOUT_OTHER_BUILD()                                                           \
    if (OtherBuildPath(L"locator_target.exe").empty() || Variable(L"ProgramW6432").empty())   \
    GTEST_SKIP() << "needs the other architecture's build (test.sh builds both) and a 64-bit prefix"

// The path query as it would answer for a renamed file, and for a process
// that is gone by the time it is asked.
DWORD misnamedProcessId = 0;
bool QueryMisnamingOne(DWORD processId, wchar_t* exePath)
{
    if (processId != misnamedProcessId)
        return QueryProcessImagePath(processId, exePath);
    lstrcpyW(exePath, L"C:\\Tavrowen Other\\otherbits.exe.old");
    return true;
}
PROCESS_INFORMATION* endingProcess = NULL;
bool QueryAfterTheProcessEnded(DWORD processId, wchar_t* exePath)
{
    EndProgram(endingProcess);
    // The system lets go of an ended process a moment after it ends.
    WaitUntil([&] {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (process)
            CloseHandle(process);
        return process == NULL;
    }, 10000);
    return QueryProcessImagePath(processId, exePath);
}

TEST(OtherBitness, FoundByItsImagePathUnlessThatEndsOtherwiseOrIsGone)
{
    SKIP_WITHOUT_OTHER_BUILD();
    const std::wstring folder = Variable(wideBuild ? L"ProgramFiles(x86)" : L"ProgramW6432");
    Target first, second;
    ASSERT_TRUE(first.Start(OtherBuildPath(L"locator_target.exe"), folder + L"\\Tavrowen Other", L"otherbits.exe"));
    wchar_t path[MAX_PATH] = L"";
    ASSERT_TRUE(LocateExecutable(L"OtherBits.EXE", path));
    EXPECT_EQ(0, lstrcmpiW(first.path.c_str(), path)) << NarrowUtf8(path);

    ASSERT_TRUE(second.Start(OtherBuildPath(L"locator_target.exe"), folder + L"\\Tavrowen Other 2", L"otherbits.exe"));
    misnamedProcessId = first.process.dwProcessId;
    seams.imagePathQuery = QueryMisnamingOne;
    EXPECT_TRUE(LocateExecutable(L"otherbits.exe", path));
    EXPECT_EQ(0, lstrcmpiW(second.path.c_str(), path)) << "the next one was not taken: " << NarrowUtf8(path);
    EndProgram(&second.process);
    lstrcpyW(path, L"unchanged");
    EXPECT_FALSE(LocateExecutable(L"otherbits.exe", path)) << "a path not ending with the name was taken";

    endingProcess = &first.process;
    seams.imagePathQuery = QueryAfterTheProcessEnded;
    EXPECT_FALSE(LocateExecutable(L"otherbits.exe", path));
    seams.imagePathQuery = QueryProcessImagePath;
    EXPECT_STREQ(L"unchanged", path);
}

// A 64-bit program under the native Program Files and a 32-bit one under the
// x86 folder, listed by the 64-bit stand-in Task Manager from system32.
class EitherBuild : public testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_OTHER_BUILD();
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, L"Software\\Veltrix\\Tavrowen2", L"NoSplashScreen", 1));
        ASSERT_TRUE(wide.Start(WidePath(L"locator_target.exe"), Variable(L"ProgramW6432") + L"\\Tavrowen Wide",
                               L"widetarget.exe"));
        ASSERT_TRUE(narrow.Start(NarrowPath(L"locator_target.exe"),
                                 Variable(L"ProgramFiles(x86)") + L"\\Tavrowen Narrow", L"narrowtarget.exe"));
        // A 32-bit process reaches the real system32 as sysnative.
        std::wstring system = Variable(L"SystemRoot") + (wideBuild ? L"\\system32" : L"\\sysnative");
        nativeTaskManager = system + L"\\taskmgr.exe";
        ASSERT_TRUE(standIn.Start(L"/names:widetarget.exe|narrowtarget.exe|taskmgr.exe", nativeTaskManager));
        standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
        BOOL wow64 = TRUE;
        IsWow64Process(standIn.process.hProcess, &wow64);
        ASSERT_FALSE(wow64) << "the prefix's system32 holds no 64-bit stand-in";
    }
    void TearDown() override { shell::SetWindowsVersionFor(L"Tavrowen2.exe", NULL); }
    // The address the browser receives for a click beside `row` with one build's program.
    std::wstring ClickWith(const std::wstring& program, int row)
    {
        PROCESS_INFORMATION running = {};
        HWND strip = NULL;
        RECT rowRect = standIn.RowScreenRect(row), stripRect = {};
        int y = (rowRect.top + rowRect.bottom) / 2;
        size_t recorded = ReadRecordedAddresses().size();
        bool attached = StartProgram(program, L"/autostart", &running) && WaitUntil([&] {
            strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL);
            return strip && GetWindowRect(strip, &stripRect) && y >= stripRect.top && y < stripRect.bottom;
        }, 30000);
        EXPECT_TRUE(attached) << "the strip of " << NarrowUtf8(program) << " did not reach row " << row;
        if (attached) {
            SetForegroundWindow(standIn.window);
            ClickScreenPoint((stripRect.left + stripRect.right) / 2, y);
            EXPECT_TRUE(WaitForRecordedAddresses(recorded + 1, 30000)) << "the browser received no address";
        }
        ShutDownTavrowen(&running);
        std::vector<std::wstring> addresses = ReadRecordedAddresses();
        return addresses.size() > recorded ? addresses[recorded] : L"";
    }
    static std::wstring Expected(const wchar_t* name, const wchar_t* lpath, const std::wstring& file)
    {
        std::vector<unsigned char> bytes = ReadWholeFile(file);
        LookupUrl url;
        StartLookupUrl(&url, name);
        AppendQueryParameter(&url, L"lpath", lpath);
        AppendQueryParameter(&url, L"md5", WidenUtf8(SystemMd5(bytes)).c_str());
        AppendQueryParameter(&url, L"size", std::to_wstring(bytes.size()).c_str());
        AppendVersionTag(&url);
        return url.text;
    }
    Target wide, narrow;
    StandInTaskManager standIn;
    std::wstring nativeTaskManager;
};

TEST_F(EitherBuild, SameFileGivesTheSameDetailsFromEitherBuild)
{
    std::wstring wideFromNarrow = ClickWith(NarrowPath(L"Tavrowen2.exe"), 0);
    EXPECT_EQ(Expected(L"widetarget.exe", L"%programfiles%\\Tavrowen Wide", wide.path), wideFromNarrow);
    EXPECT_EQ(wideFromNarrow, ClickWith(WidePath(L"Tavrowen2.exe"), 0)) << "the 64-bit build sent otherwise";

    // The 32-bit program in the x86 folder: one form from both builds.
    std::wstring narrowFromNarrow = ClickWith(NarrowPath(L"Tavrowen2.exe"), 1);
    EXPECT_EQ(Expected(L"narrowtarget.exe", L"%programfiles%\\Tavrowen Narrow", narrow.path), narrowFromNarrow);
    EXPECT_EQ(narrowFromNarrow, ClickWith(WidePath(L"Tavrowen2.exe"), 1)) << "the 64-bit build sent otherwise";

    // The 64-bit stand-in's file in System32, not the 32-bit one of that name in SysWOW64.
    std::wstring systemFromNarrow = ClickWith(NarrowPath(L"Tavrowen2.exe"), 2);
    EXPECT_EQ(Expected(L"taskmgr.exe", L"%system%", nativeTaskManager), systemFromNarrow);
    EXPECT_EQ(systemFromNarrow, ClickWith(WidePath(L"Tavrowen2.exe"), 2)) << "the 64-bit build sent otherwise";

    // Told it runs on XP, the 32-bit build does not ask for the 64-bit program's path.
    shell::SetWindowsVersionFor(L"Tavrowen2.exe", L"winxp");
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"widetarget.exe?qaver=2.0", ClickWith(NarrowPath(L"Tavrowen2.exe"), 0));
}

}  // namespace
