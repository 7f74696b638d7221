// Finding a running process's executable by image name, with real processes
// of this build's own bitness (copies of locator_target.exe under other names).
#include <windows.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include <string>
#include "core/executable_locator.h"
#include "core/seams.h"
#include "test_support.h"

namespace {

// A copy of the target program, running under a chosen image name.
class RunningTarget {
public:
    ~RunningTarget() { EndProgram(&process); }

    bool Start(const std::wstring& directory, const std::wstring& imageName, const std::wstring& arguments = L"")
    {
        path = directory + L"\\" + imageName;
        if (!MakeDirectories(directory) || !CopyFileW(BinPath(L"locator_target.exe").c_str(), path.c_str(), FALSE))
            return false;
        return StartLocatorTarget(path, arguments, &process);
    }

    static bool MakeDirectories(const std::wstring& directory)
    {
        for (size_t slash = directory.find(L'\\', 3); slash != std::wstring::npos;
             slash = directory.find(L'\\', slash + 1))
            CreateDirectoryW(directory.substr(0, slash).c_str(), NULL);
        return CreateDirectoryW(directory.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
    }

    std::wstring path;
    PROCESS_INFORMATION process = {};
};

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Locates `name` and expects the executable at `expected`.
void ExpectLocated(const wchar_t* name, const std::wstring& expected)
{
    wchar_t path[MAX_PATH] = L"";
    EXPECT_TRUE(LocateExecutable(name, path)) << NarrowUtf8(name) << " was not found";
    EXPECT_TRUE(SamePath(expected, path)) << NarrowUtf8(name) << ": expected " << NarrowUtf8(expected) << ", got "
                                          << NarrowUtf8(path);
}

// Image names of the running processes, in snapshot order.
std::vector<PROCESSENTRY32W> ProcessesNamed(const wchar_t* name)
{
    std::vector<PROCESSENTRY32W> matches;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (!lstrcmpiW(entry.szExeFile, name))
            matches.push_back(entry);
    CloseHandle(snapshot);
    return matches;
}

}  // namespace

TEST(EqualFoldingAsciiLetters, FoldsOnlyAToZ)
{
    EXPECT_TRUE(EqualFoldingAsciiLetters(L"NotePad.EXE", L"notepad.exe", 11));
    EXPECT_TRUE(EqualFoldingAsciiLetters(L"[@`{", L"[@`{", 4));
    // '@' and '`' sit just before 'A' and 'a', '[' and '{' just after 'Z' and 'z'.
    EXPECT_FALSE(EqualFoldingAsciiLetters(L"@", L"`", 1));
    EXPECT_FALSE(EqualFoldingAsciiLetters(L"[", L"{", 1));
    EXPECT_FALSE(EqualFoldingAsciiLetters(L"\u00c9", L"\u00e9", 1)) << "E acute must not fold";
    EXPECT_TRUE(EqualFoldingAsciiLetters(L"abcX", L"abcY", 3)) << "only the given length is compared";
}

TEST(LocateExecutable, FindsARunningProcessByItsNameInAnotherLetterCase)
{
    RunningTarget target;
    ASSERT_TRUE(target.Start(L"C:\\tavrowen-test\\case", L"Case_Target.exe"));
    ExpectLocated(L"cASE_tARGET.EXE", target.path);
}

TEST(LocateExecutable, DoesNotFoldLettersBeyondAToZ)
{
    RunningTarget target;
    ASSERT_TRUE(target.Start(L"C:\\tavrowen-test\\accent", L"l\u00f3cator.exe"));
    // An A-to-Z case difference must still match.
    ExpectLocated(L"L\u00f3CATOR.exe", target.path);

    wchar_t buffer[MAX_PATH];
    wmemset(buffer, L'Q', MAX_PATH);
    EXPECT_FALSE(LocateExecutable(L"l\u00d3cator.exe", buffer)) << "o acute and O acute must not be equal";
}

TEST(LocateExecutable, AbsentNameLeavesTheBufferAsItWas)
{
    wchar_t buffer[MAX_PATH];
    wmemset(buffer, L'Q', MAX_PATH);
    buffer[MAX_PATH - 1] = L'\0';
    wchar_t before[MAX_PATH];
    memcpy(before, buffer, sizeof(buffer));
    EXPECT_FALSE(LocateExecutable(L"no-such-process-runs.exe", buffer));
    EXPECT_EQ(0, memcmp(before, buffer, sizeof(buffer))) << "the path buffer was written";
    EXPECT_FALSE(LocateExecutable(L"", buffer));
    EXPECT_EQ(0, memcmp(before, buffer, sizeof(buffer))) << "the path buffer was written for an empty name";
}

TEST(LocateExecutable, ModuleEndingWithTheImageNameMatchesWhenItComesFirst)
{
    std::wstring directory = L"C:\\tavrowen-test\\suffix";
    ASSERT_TRUE(RunningTarget::MakeDirectories(directory));
    std::wstring modulePath = directory + L"\\xnotepad.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"xnotepad.exe").c_str(), modulePath.c_str(), FALSE));
    RunningTarget target;
    ASSERT_TRUE(target.Start(directory, L"notepad.exe", L"/suffix"));

    // The target put xnotepad.exe ahead of its main module in the module list.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, target.process.dwProcessId);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    ASSERT_TRUE(Module32FirstW(snapshot, &module));
    CloseHandle(snapshot);
    ASSERT_STREQ(L"xnotepad.exe", module.szModule) << "the rig did not reorder the modules";

    // From Vista on the kernel's path names the file, whatever the module list says.
    ExpectLocated(L"notepad.exe", target.path);
    // On XP only the module list does: the module whose name ends with it.
    seams.getVersion = ReportXpVersion;
    ExpectLocated(L"notepad.exe", modulePath);
    seams.getVersion = GetVersionExW;
}

TEST(LocateExecutable, CopiesAPathOfExactly259CharactersWhole)
{
    const std::wstring imageName = L"long_target.exe";
    std::wstring directory = L"C:\\tavrowen-test\\long\\";
    directory += std::wstring(MAX_PATH - 1 - 1 - imageName.size() - directory.size(), L'd');
    RunningTarget target;
    ASSERT_TRUE(target.Start(directory, imageName));
    ASSERT_EQ(259u, target.path.size());

    wchar_t buffer[MAX_PATH];
    wmemset(buffer, L'Q', MAX_PATH);
    ASSERT_TRUE(LocateExecutable(imageName.c_str(), buffer));
    EXPECT_EQ(259u, wcsnlen(buffer, MAX_PATH));
    EXPECT_TRUE(SamePath(target.path, buffer)) << NarrowUtf8(buffer);
}

TEST(LocateExecutable, PassesOverAProcessWhoseModulesCannotBeRead)
{
    // A 32-bit program cannot read a 64-bit process's modules: Wine's own
    // explorer.exe is one in a 64-bit prefix.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (!wow64)
        GTEST_SKIP() << "needs a 32-bit build on a 64-bit system";
    std::vector<PROCESSENTRY32W> system = ProcessesNamed(L"explorer.exe");
    ASSERT_FALSE(system.empty()) << "Wine's explorer.exe is not running";
    HANDLE refused = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, system[0].th32ProcessID);
    ASSERT_EQ(INVALID_HANDLE_VALUE, refused) << "the first explorer.exe let us read its modules";

    wchar_t buffer[MAX_PATH] = L"";
    EXPECT_FALSE(FindModulePath(&system[0], buffer));
    RunningTarget target;
    ASSERT_TRUE(target.Start(L"C:\\tavrowen-test\\second", L"explorer.exe"));
    seams.getVersion = ReportXpVersion;  // only XP names the file from the module list
    ExpectLocated(L"Explorer.exe", target.path);
    seams.getVersion = GetVersionExW;
}

TEST(FindModulePath, GoneProcessGivesFalse)
{
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    entry.th32ProcessID = 0x7ffffff0;
    lstrcpyW(entry.szExeFile, L"gone.exe");
    wchar_t buffer[MAX_PATH] = L"unchanged";
    EXPECT_FALSE(FindModulePath(&entry, buffer));
    EXPECT_STREQ(L"unchanged", buffer);
}
