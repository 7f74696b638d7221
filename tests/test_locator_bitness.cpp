// Either build on 64-bit Windows: a process of the other bitness located by
// its image path, and the same file clicked from both builds. The other
// build's programs come from TAVROWEN_OTHER_BIN_DIR (test.sh builds both).
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "lookup/executable_locator.h"
#include "lookup/lookup_url.h"
#include "lookup/system_md5.h"
#include "shell_support.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

const bool wideBuild = sizeof(void*) == 8;

// A program of the other architecture's build; empty when that build is missing.
std::wstring OtherBuildPath(const wchar_t* fileName)
{
    wchar_t directory[MAX_PATH] = L"";
    DWORD length = GetEnvironmentVariableW(L"TAVROWEN_OTHER_BIN_DIR", directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return L"";
    std::wstring path = L"Z:" + std::wstring(directory) + L"/" + fileName;  // Wine's Z: is the Unix root
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? L"" : path;
}

std::wstring WidePath(const wchar_t* fileName) { return wideBuild ? BinPath(fileName) : OtherBuildPath(fileName); }
std::wstring NarrowPath(const wchar_t* fileName) { return wideBuild ? OtherBuildPath(fileName) : BinPath(fileName); }

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

// A copy of one build's locator target, running from its own directory.
struct Target {
    ~Target()
    {
        EndProgram(&process);
        DeleteFileW(path.c_str());
        RemoveDirectoryW(directory.c_str());
    }
    bool Start(const std::wstring& program, const std::wstring& folder, const wchar_t* name)
    {
        directory = folder;
        path = folder + L"\\" + name;
        CreateDirectoryW(folder.c_str(), NULL);
        return CopyFileW(program.c_str(), path.c_str(), FALSE) && StartLocatorTarget(path, L"", &process);
    }
    std::wstring directory, path;
    PROCESS_INFORMATION process = {};
};

#define SKIP_WITHOUT_OTHER_BUILD()                                                              \
    if (OtherBuildPath(L"locator_target.exe").empty() || Variable(L"ProgramW6432").empty())      \
        GTEST_SKIP() << "needs the other architecture's build (build both, as test.sh does) and a 64-bit prefix"

// Processes of the other bitness, under the Program Files folder of their own bitness.
class OtherBitness : public testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_OTHER_BUILD();
        folder = Variable(wideBuild ? L"ProgramFiles(x86)" : L"ProgramW6432");
        ASSERT_TRUE(first.Start(OtherBuildPath(L"locator_target.exe"), folder + L"\\Tavrowen Other", L"otherbits.exe"));
    }
    void TearDown() override { locatorImagePathQuery = QueryProcessImagePath; }
    std::wstring folder;
    Target first;
};

TEST_F(OtherBitness, LocatedByItsImagePathWhenItsModulesCannotBeRead)
{
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    entry.th32ProcessID = first.process.dwProcessId;
    lstrcpyW(entry.szExeFile, L"otherbits.exe");
    wchar_t path[MAX_PATH] = L"";
    EXPECT_FALSE(FindModulePath(&entry, path)) << "its modules could be read: " << NarrowUtf8(path);

    ASSERT_TRUE(LocateExecutable(L"OtherBits.EXE", path));
    EXPECT_EQ(0, lstrcmpiW(first.path.c_str(), path)) << NarrowUtf8(path);
}

DWORD misnamedProcessId = 0;

// The path query as it would answer for a file renamed or a process gone.
bool QueryMisnamingOne(DWORD processId, wchar_t* exePath)
{
    if (processId != misnamedProcessId)
        return QueryProcessImagePath(processId, exePath);
    lstrcpyW(exePath, L"C:\\Tavrowen Other\\otherbits.exe.old");
    return true;
}
bool QueryFailing(DWORD, wchar_t*) { return false; }
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

TEST_F(OtherBitness, PathThatEndsOtherwiseOrCannotBeHadIsPassedOver)
{
    Target second;
    ASSERT_TRUE(second.Start(OtherBuildPath(L"locator_target.exe"), folder + L"\\Tavrowen Other 2", L"otherbits.exe"));
    wchar_t path[MAX_PATH] = L"unchanged";
    misnamedProcessId = first.process.dwProcessId;
    locatorImagePathQuery = QueryMisnamingOne;
    ASSERT_TRUE(LocateExecutable(L"otherbits.exe", path));
    EXPECT_EQ(0, lstrcmpiW(second.path.c_str(), path)) << NarrowUtf8(path);

    EndProgram(&second.process);
    lstrcpyW(path, L"unchanged");
    EXPECT_FALSE(LocateExecutable(L"otherbits.exe", path)) << "a path not ending with the name was taken";
    locatorImagePathQuery = QueryFailing;
    EXPECT_FALSE(LocateExecutable(L"otherbits.exe", path));
    endingProcess = &first.process;
    locatorImagePathQuery = QueryAfterTheProcessEnded;
    EXPECT_FALSE(LocateExecutable(L"otherbits.exe", path));
    EXPECT_STREQ(L"unchanged", path);
}

// A 64-bit program under the native Program Files and a 32-bit one under the
// x86 folder, listed by the 64-bit stand-in Task Manager from system32.
class EitherBuild : public testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_OTHER_BUILD();
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
        ASSERT_TRUE(wide.Start(WidePath(L"locator_target.exe"), Variable(L"ProgramW6432") + L"\\Tavrowen Wide",
                               L"widetarget.exe"));
        ASSERT_TRUE(narrow.Start(NarrowPath(L"locator_target.exe"),
                                 Variable(L"ProgramFiles(x86)") + L"\\Tavrowen Narrow", L"narrowtarget.exe"));
        wchar_t windows[MAX_PATH] = L"";
        GetWindowsDirectoryW(windows, MAX_PATH);
        std::wstring taskManager = std::wstring(windows) + (wideBuild ? L"\\system32" : L"\\sysnative") + L"\\taskmgr.exe";
        ASSERT_TRUE(standIn.Start(L"/names:widetarget.exe|narrowtarget.exe", taskManager));
        standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
        BOOL wow64 = TRUE;
        IsWow64Process(standIn.process.hProcess, &wow64);
        ASSERT_FALSE(wow64) << "the prefix's system32 holds no 64-bit stand-in";
    }
    void TearDown() override
    {
        shell::SetWindowsVersionFor(L"Tavrowen2.exe", NULL);
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    // Starts one build's program, clicks the strip beside `row`, and returns
    // the address the browser received.
    std::wstring ClickWith(const std::wstring& program, int row)
    {
        PROCESS_INFORMATION running = {};
        HWND strip = NULL;
        size_t recorded = ReadRecordedAddresses().size();
        EXPECT_TRUE(StartProgram(program, L"/autostart", &running));
        bool attached = WaitUntil([&] { return (strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL)); },
                                  30000);
        RECT rowRect = standIn.RowScreenRect(row), stripRect = {};
        int y = (rowRect.top + rowRect.bottom) / 2;
        attached = attached && WaitUntil([&] {
            GetWindowRect(strip, &stripRect);
            return y >= stripRect.top && y < stripRect.bottom;
        }, 10000);
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
    const wchar_t* settingsPath = L"Software\\Veltrix\\Tavrowen2";
    Target wide, narrow;
    StandInTaskManager standIn;
};

TEST_F(EitherBuild, SameFileGivesTheSameDetailsUnlessItLiesInTheX86Folder)
{
    std::wstring wideFromNarrow = ClickWith(NarrowPath(L"Tavrowen2.exe"), 0);
    EXPECT_EQ(Expected(L"widetarget.exe", L"%programfiles%\\Tavrowen Wide", wide.path), wideFromNarrow);
    EXPECT_EQ(wideFromNarrow, ClickWith(WidePath(L"Tavrowen2.exe"), 0)) << "the 64-bit build sent otherwise";

    // The 64-bit build has no token for the x86 folder: "C:\Program Files" is a plain prefix of it.
    EXPECT_EQ(Expected(L"narrowtarget.exe", L"%programfiles% (x86)\\Tavrowen Narrow", narrow.path),
              ClickWith(WidePath(L"Tavrowen2.exe"), 1));
    EXPECT_EQ(Expected(L"narrowtarget.exe", L"%programfiles%\\Tavrowen Narrow", narrow.path),
              ClickWith(NarrowPath(L"Tavrowen2.exe"), 1));

    // Told it runs on XP, the 32-bit build does not ask for the 64-bit program's path.
    shell::SetWindowsVersionFor(L"Tavrowen2.exe", L"winxp");
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"widetarget.exe?qaver=2.0", ClickWith(NarrowPath(L"Tavrowen2.exe"), 0));
}

}  // namespace
