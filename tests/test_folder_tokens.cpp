// Folder tokens: the table resolved from the prefix's real folders, a table
// filled by hand for ties and letter case, CD-ROM drives, release at exit.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <winioctl.h>
#include <string>
#include <utility>
#include <vector>
#include "core/folder_tokens.h"
#include "test_support.h"

namespace {

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring TemporaryFolder()
{
    wchar_t shortForm[MAX_PATH] = L"";
    wchar_t longForm[2080] = L"";
    GetTempPathW(MAX_PATH, shortForm);
    GetLongPathNameW(shortForm, longForm, ARRAYSIZE(longForm));
    return WithoutTrailingBackslash(longForm);
}

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

struct Applied {
    bool tokenUsed;
    std::wstring text;
};

Applied Apply(const std::wstring& directory)
{
    wchar_t output[FOLDER_TOKEN_TEXT_CAPACITY + 1];
    output[FOLDER_TOKEN_TEXT_CAPACITY] = L'#';  // must survive
    Applied applied;
    applied.tokenUsed = ApplyFolderTokens(directory.c_str(), output);
    EXPECT_EQ(L'#', output[FOLDER_TOKEN_TEXT_CAPACITY]) << "output written past its capacity";
    applied.text = output;
    return applied;
}

std::string Narrow(const std::wstring& text)
{
    return NarrowUtf8(text);
}

// A directory no folder holds comes back as it was, with no token.
void ExpectUnchanged(const std::wstring& directory)
{
    Applied applied = Apply(directory);
    EXPECT_FALSE(applied.tokenUsed) << Narrow(directory);
    EXPECT_EQ(directory, applied.text);
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Each test starts from an unresolved table and leaves one behind.
class FolderTokens : public testing::Test {
protected:
    void SetUp() override { ReleaseFolderTokens(); }
    void TearDown() override { ReleaseFolderTokens(); }
};

// Resolved at the first use, each folder stored without its trailing
// backslash: the temporary directory always comes with one.
TEST_F(FolderTokens, ResolvesOnFirstUseWithoutTrailingBackslashes)
{
    EXPECT_FALSE(folderTableResolved);
    Apply(L"C:\\nowhere");
    ASSERT_TRUE(folderTableResolved);
    int resolved = 0;
    for (const FolderTokenRow& row : folderTokenTable.rows) {
        if (!row.path)
            continue;
        ++resolved;
        EXPECT_EQ((int)wcslen(row.path), row.length) << Narrow(row.token);
        EXPECT_NE(L'\\', row.path[row.length - 1]) << Narrow(row.token);
    }
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(wow64 ? 14 : 12, resolved)
        << "the prefix has all ten folders and the x86 pair, and the native pair under WOW64";
    const FolderTokenRow& temp = folderTokenTable.rows[9];
    ASSERT_NE(nullptr, temp.path);
    EXPECT_EQ(Narrow(TemporaryFolder()), Narrow(temp.path));
}

TEST_F(FolderTokens, LongestFolderWinsOverTheFolderHoldingIt)
{
    const std::wstring programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    const std::wstring common = ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    const std::wstring windows = ShellFolder(CSIDL_WINDOWS);
    const std::wstring system = ShellFolder(CSIDL_SYSTEM);
    const std::wstring profile = ShellFolder(CSIDL_PROFILE);
    const std::wstring desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    const std::wstring temp = TemporaryFolder();
    // The cases only mean something where the folders nest as on Windows.
    ASSERT_TRUE(StartsWithIgnoringCase(common, programFiles + L"\\")) << Narrow(common);
    ASSERT_TRUE(StartsWithIgnoringCase(system, windows + L"\\")) << Narrow(system);
    ASSERT_TRUE(StartsWithIgnoringCase(desktop, profile + L"\\")) << Narrow(desktop);
    ASSERT_TRUE(StartsWithIgnoringCase(temp, profile + L"\\")) << Narrow(temp);

    EXPECT_EQ(L"%programfilescommon%\\Vendor", Apply(common + L"\\Vendor").text);
    EXPECT_EQ(L"%programfiles%\\Vendor\\App", Apply(programFiles + L"\\Vendor\\App").text);
    EXPECT_EQ(L"%system%\\drivers", Apply(system + L"\\drivers").text);
    EXPECT_EQ(L"%windir%\\Fonts", Apply(windows + L"\\Fonts").text);
    EXPECT_EQ(L"%desktop%\\Tools", Apply(desktop + L"\\Tools").text);
    EXPECT_EQ(L"%temp%\\setup", Apply(temp + L"\\setup").text);
    EXPECT_EQ(L"%userprofile%\\Games", Apply(profile + L"\\Games").text);
    EXPECT_TRUE(Apply(common + L"\\Vendor").tokenUsed);
}

TEST_F(FolderTokens, FolderItselfGivesTheBareToken)
{
    EXPECT_EQ(L"%windir%", Apply(ShellFolder(CSIDL_WINDOWS)).text);
    EXPECT_EQ(L"%system%", Apply(ShellFolder(CSIDL_SYSTEM)).text);
    EXPECT_EQ(L"%programfiles%", Apply(ShellFolder(CSIDL_PROGRAM_FILES)).text);
    EXPECT_EQ(L"%desktop%", Apply(ShellFolder(CSIDL_DESKTOPDIRECTORY)).text);
    EXPECT_EQ(L"%commondesktop%", Apply(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY)).text);
    EXPECT_EQ(L"%startup%", Apply(ShellFolder(CSIDL_STARTUP)).text);
    EXPECT_EQ(L"%commonstartup%", Apply(ShellFolder(CSIDL_COMMON_STARTUP)).text);
    EXPECT_EQ(L"%userprofile%", Apply(ShellFolder(CSIDL_PROFILE)).text);
    EXPECT_EQ(L"%temp%", Apply(TemporaryFolder()).text);
}

TEST_F(FolderTokens, LetterCaseOfTheFolderIsIgnoredTheRestKeepsItsCase)
{
    std::wstring programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    std::wstring upper = programFiles, lower = programFiles;
    for (wchar_t& c : upper)
        c = (c >= L'a' && c <= L'z') ? (wchar_t)(c - 32) : c;
    for (wchar_t& c : lower)
        c = (c >= L'A' && c <= L'Z') ? (wchar_t)(c + 32) : c;
    EXPECT_EQ(L"%programfiles%\\MiXed Case\\APP", Apply(upper + L"\\MiXed Case\\APP").text);
    EXPECT_EQ(L"%programfiles%\\MiXed Case\\APP", Apply(lower + L"\\MiXed Case\\APP").text);
}

// A folder matches only where a name ends: C:\WindowsX is no %windir%X.
TEST_F(FolderTokens, FolderMatchesOnlyAtASeparator)
{
    std::wstring programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    ExpectUnchanged(programFiles + L"2\\Tool");
    ExpectUnchanged(ShellFolder(CSIDL_WINDOWS) + L"X");
    ExpectUnchanged(ShellFolder(CSIDL_PROFILE) + L"2\\Games");
}

TEST_F(FolderTokens, DirectoriesOutsideEveryFolderComeOutUnchanged)
{
    const wchar_t* unchanged[] = {
        L"\\\\server\\share\\Tools", L"C:\\Tools\\Bin", L"C:", L"C", L"", L"relative\\dir",
        L"Z:\\usr\\lib",
    };
    for (const wchar_t* directory : unchanged)
        ExpectUnchanged(directory);
}

// Under WOW64 the native Program Files folders match too, as the 64-bit build
// sees them; read from the registry's 64-bit view, else the environment.
TEST_F(FolderTokens, NativeProgramFilesMatchUnderWow64)
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (!wow64)
        GTEST_SKIP() << "needs a 32-bit build on a 64-bit system";
    const wchar_t* native = L"C:\\Native Apps";
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                                           KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key));
    wchar_t saved[MAX_PATH + 1] = L"";
    DWORD bytes = MAX_PATH * sizeof(wchar_t);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"ProgramFilesDir", NULL, NULL, (BYTE*)saved, &bytes));
    const std::wstring common = Variable(L"CommonProgramW6432");
    ASSERT_FALSE(common.empty());
    EXPECT_EQ(L"%programfilescommon%\\Vendor", Apply(common + L"\\Vendor").text);
    EXPECT_EQ(L"%programfiles%\\Vendor", Apply(std::wstring(saved) + L"\\Vendor").text);
    EXPECT_EQ(L"%programfiles%\\Vendor", Apply(ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Vendor").text) << "x86 folder";

    // Without the registry value, the environment's; the registry's wins over it.
    std::wstring savedVariable = Variable(L"ProgramW6432");
    SetEnvironmentVariableW(L"ProgramW6432", native);
    ReleaseFolderTokens();
    EXPECT_EQ(std::wstring(native) + L"\\Vendor", Apply(std::wstring(native) + L"\\Vendor").text);
    RegDeleteValueW(key, L"ProgramFilesDir");
    ReleaseFolderTokens();
    EXPECT_EQ(L"%programfiles%\\Vendor", Apply(std::wstring(native) + L"\\Vendor").text);
    RegSetValueExW(key, L"ProgramFilesDir", 0, REG_SZ, (const BYTE*)saved, bytes);
    RegCloseKey(key);
    SetEnvironmentVariableW(L"ProgramW6432", savedVariable.c_str());
}

// The temporary directory given in 8.3 form is stored, and so matched, long.
class ShortTemporaryDirectory : public FolderTokens {
protected:
    void SetUp() override
    {
        FolderTokens::SetUp();
        savedTmp = Variable(L"TMP");
        savedTemp = Variable(L"TEMP");
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"TMP", savedTmp.empty() ? NULL : savedTmp.c_str());
        SetEnvironmentVariableW(L"TEMP", savedTemp.empty() ? NULL : savedTemp.c_str());
        FolderTokens::TearDown();
    }
    std::wstring savedTmp, savedTemp;
};

TEST_F(ShortTemporaryDirectory, MatchesInItsLongForm)
{
    const std::wstring longForm = L"C:\\tavrowen-test\\Temporary Files Of A Long Name";
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(longForm.c_str(), NULL);
    wchar_t shortForm[MAX_PATH] = L"";
    ASSERT_NE(0u, GetShortPathNameW(longForm.c_str(), shortForm, MAX_PATH));
    ASSERT_NE(Narrow(longForm), Narrow(shortForm)) << "no 8.3 name to test with";
    std::wstring shortWithBackslash = std::wstring(shortForm) + L"\\";
    SetEnvironmentVariableW(L"TMP", shortWithBackslash.c_str());
    SetEnvironmentVariableW(L"TEMP", shortWithBackslash.c_str());

    EXPECT_EQ(L"%temp%\\Setup Files", Apply(longForm + L"\\Setup Files").text);
    EXPECT_EQ(L"%temp%", Apply(longForm).text);
}

// A drive the prefix declares a CD-ROM, defined through Wine's mount
// manager the way winecfg does it.
const ULONG MOUNTMGR_DEFINE_UNIX_DRIVE = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct MountmgrUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

bool DefineWineDrive(wchar_t letter, UINT type, const std::wstring& directory)
{
    typedef char*(CDECL * UnixFileNameProc)(LPCWSTR);
    UnixFileNameProc unixFileName =
        (UnixFileNameProc)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!unixFileName)
        return false;
    std::string mountPoint;
    if (type != DRIVE_NO_ROOT_DIR) {
        char* name = unixFileName(directory.c_str());
        if (!name)
            return false;
        mountPoint = name;
        HeapFree(GetProcessHeap(), 0, name);
    }
    std::vector<char> request(sizeof(MountmgrUnixDrive) + mountPoint.size() + 1, 0);
    MountmgrUnixDrive* drive = (MountmgrUnixDrive*)request.data();
    drive->size = (ULONG)request.size();
    drive->type = type;
    drive->letter = letter;
    if (!mountPoint.empty()) {
        drive->mountPointOffset = sizeof(MountmgrUnixDrive);
        memcpy(request.data() + sizeof(MountmgrUnixDrive), mountPoint.c_str(), mountPoint.size() + 1);
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(manager, MOUNTMGR_DEFINE_UNIX_DRIVE, request.data(), (DWORD)request.size(), NULL, 0,
                              &returned, NULL);
    CloseHandle(manager);
    return ok != FALSE;
}

TEST_F(FolderTokens, CdromDriveGivesTheCdromToken)
{
    const std::wstring media = L"C:\\tavrowen-test\\cdrom";
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(media.c_str(), NULL);
    wchar_t letter = 0;
    DWORD drives = GetLogicalDrives();
    for (wchar_t candidate = L'r'; candidate <= L'y' && !letter; ++candidate)
        if (!(drives & (1u << (candidate - L'a'))))
            letter = candidate;
    ASSERT_NE(0, letter) << "no free drive letter";
    ASSERT_TRUE(DefineWineDrive(letter, DRIVE_CDROM, media)) << "Wine's mount manager refused the drive";
    std::wstring upper(1, (wchar_t)(letter - 32));
    std::wstring lower(1, letter);
    ASSERT_EQ((UINT)DRIVE_CDROM, GetDriveTypeW((upper + L":\\").c_str()));

    Applied applied = Apply(upper + L":\\setup\\Disk1");
    EXPECT_TRUE(applied.tokenUsed);
    EXPECT_EQ(L"%cdrom%\\setup\\Disk1", applied.text);
    EXPECT_EQ(L"%cdrom%\\Setup", Apply(lower + L":\\Setup").text);
    EXPECT_EQ(L"%cdrom%", Apply(upper + L":").text);

    DefineWineDrive(letter, DRIVE_NO_ROOT_DIR, L"");
}

// A table filled by hand, for what the prefix's folders cannot show.
class HandFilledTable : public testing::Test {
protected:
    void SetUp() override { ReleaseFolderTokens(); }
    void TearDown() override { ReleaseFolderTokens(); }
    // Rows by their index; every other row unresolved.
    void Fill(const std::vector<std::pair<int, std::wstring>>& rows)
    {
        ReleaseFolderTokens();
        for (const auto& row : rows) {
            size_t bytes = (row.second.size() + 1) * sizeof(wchar_t);
            wchar_t* copy = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, bytes);
            memcpy(copy, row.second.c_str(), bytes);
            folderTokenTable.rows[row.first].path = copy;
            folderTokenTable.rows[row.first].length = (int)row.second.size();
        }
        folderTableResolved = true;
    }
};

TEST_F(HandFilledTable, EqualFoldersGiveTheEarlierRowsToken)
{
    Fill({{4, L"C:\\Shared\\Desktop"}, {5, L"C:\\Shared\\Desktop"}});
    EXPECT_EQ(L"%desktop%\\Notes", Apply(L"C:\\Shared\\Desktop\\Notes").text);
    Fill({{0, L"D:\\Apps"}, {8, L"D:\\Apps"}});
    EXPECT_EQ(L"%programfiles%", Apply(L"D:\\Apps").text);
}

TEST_F(HandFilledTable, UnresolvedRowsNeverMatch)
{
    Fill({{1, L"C:\\Program Files\\Common Files"}});
    EXPECT_EQ(L"%programfilescommon%\\X", Apply(L"C:\\Program Files\\Common Files\\X").text);
    ExpectUnchanged(L"C:\\Program Files\\Tool");
}

TEST_F(HandFilledTable, OnlyLettersAToZAreFolded)
{
    Fill({{0, L"C:\\Caf\u00e9"}});
    EXPECT_EQ(L"%programfiles%\\x", Apply(L"c:\\CAF\u00e9\\x").text);
    // E with acute in upper case is another character, not a case of it.
    ExpectUnchanged(L"C:\\Caf\u00c9\\x");
}

TEST_F(HandFilledTable, DirectoryShorterThanTheFolderDoesNotMatch)
{
    Fill({{3, L"C:\\Windows"}, {8, L"C:\\Users\\Alice"}});
    EXPECT_FALSE(Apply(L"C:\\Win").tokenUsed);
    EXPECT_EQ(L"%windir%", Apply(L"C:\\Windows").text);
    ExpectUnchanged(L"C:\\WindowsX");
    ExpectUnchanged(L"C:\\Users\\Alice2");
    EXPECT_EQ(L"%userprofile%\\x", Apply(L"C:\\Users\\Alice\\x").text);
}

TEST_F(HandFilledTable, OverlongDirectoryStaysWithinTheOutput)
{
    Fill({{0, L"C:\\P"}});
    std::wstring directory = L"C:\\P\\" + std::wstring(3000, L'a');
    Applied applied = Apply(directory);
    EXPECT_LT(applied.text.size(), (size_t)FOLDER_TOKEN_TEXT_CAPACITY);
    EXPECT_EQ(0u, applied.text.find(L"%programfiles%\\aaa"));
    applied = Apply(L"Q:" + std::wstring(3000, L'b'));
    EXPECT_LT(applied.text.size(), (size_t)FOLDER_TOKEN_TEXT_CAPACITY);
}

TEST(FolderTokensRelease, FreesEveryPathAndClearsTheFlag)
{
    wchar_t output[FOLDER_TOKEN_TEXT_CAPACITY];
    ApplyFolderTokens(L"C:\\", output);
    ASSERT_TRUE(folderTableResolved);
    ReleaseFolderTokens();
    EXPECT_FALSE(folderTableResolved);
    for (int i = 0; i < FOLDER_TOKEN_ROWS; ++i)
        EXPECT_EQ(nullptr, folderTokenTable.rows[i].path) << "row " << i + 1;
    ReleaseFolderTokens();  // twice is harmless
    EXPECT_FALSE(folderTableResolved);
}

TEST(FolderTokensRelease, RunsAtProcessExit)
{
    const wchar_t report[] = L"C:\\tavrowen-test\\folder-tokens-exit.txt";
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    DeleteFileW(report);
    PROCESS_INFORMATION probe;
    ASSERT_TRUE(StartProgram(BinPath(L"folder_tokens_exit_probe.exe"), report, &probe));
    DWORD code = WaitForExit(probe, 30000);
    EndProgram(&probe);
    ASSERT_EQ(0u, code) << "the probe could not resolve the table";

    char text[32] = "";
    HANDLE file = CreateFileW(report, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "the probe wrote no report";
    DWORD read = 0;
    ReadFile(file, text, sizeof(text) - 1, &read, NULL);
    CloseHandle(file);
    text[read] = '\0';
    EXPECT_STREQ("released", text);
}

}  // namespace
