// SHA-256 against its published vectors and the system's; then the facts of
// a process this test starts: a copy of a test program named svch0st.exe in
// the temp folder, claiming to be Microsoft's, started, then touched, with a
// Run value, a RunOnce value of the 32-bit view, a Startup shortcut and a
// service starting it, and its notes and sheet.
#include <windows.h>
#include <wincrypt.h>
#include <shlobj.h>
#include <algorithm>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/file_fingerprint.h"
#include "core/folder_tokens.h"
#include "core/seams.h"
#include "core/shell_link.h"
#include "core/sha256.h"
#include "lookup/logon_entries.h"
#include "lookup/note_facts.h"
#include "lookup/process_sheet.h"
#include "lookup/property_sheet.h"
#include "lookup/svch0st_copy.h"
#include "lookup/system_md5.h"
#include "lookup/version_resource.h"
#include "test_support.h"

namespace {

std::wstring ProgramDataFolder()
{
    wchar_t folder[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_COMMON_APPDATA, NULL, 0, folder)) ? folder : L"C:\\ProgramData";
}

bool EqualIgnoringCase(const std::wstring& a, const wchar_t* b)
{
    return lstrcmpiW(a.c_str(), b) == 0;
}

std::string OurSha256(const std::string& data, size_t piece)
{
    Sha256Context context;
    InitSha256(&context);
    for (size_t at = 0; at < data.size(); at += piece)
        UpdateSha256(&context, data.data() + at, std::min(piece, data.size() - at));
    unsigned char digest[32];
    FinishSha256(&context, digest);
    return Hex(digest, 32);
}

TEST(Sha256, PublishedVectorsInAnyPiecesAndTheSystemsDigest)
{
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (size_t piece : {1, 7, 64, 1000000}) {
        EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", OurSha256("", piece));
        EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", OurSha256("abc", piece));
        EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", OurSha256(twoBlocks, piece));
        EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
                  OurSha256(std::string(1000000, 'a'), piece)) << "pieces of " << piece;
    }
    std::string data;
    for (size_t length = 0; length <= 130; ++length, data += (char)(length * 37))
        ASSERT_EQ(SystemDigest(data, SHA256_ALGORITHM), OurSha256(data, 13)) << "length " << length;
}

volatile LONG reads = 0;
BOOL WINAPI CountingRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    InterlockedIncrement(&reads);
    return ReadFile(file, buffer, size, read, overlapped);
}

class ProcessFactsTest : public ::testing::Test {
protected:
};

TEST_F(ProcessFactsTest, OneReadGivesBothDigestsAndAnMd5OnlyEntryIsReadAgain)
{
    // Under Program Files, where a fingerprint is kept without a journal (Wine keeps none).
    std::wstring path = ProgramFilesFolder() + L"\\tavrowen-digests.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), path.c_str(), FALSE));
    std::string bytes = ReadFileText(path.c_str());
    ASSERT_FALSE(bytes.empty());
    FingerprintCache* cache = new FingerprintCache();
    seams.readFile = CountingRead;
    FileFingerprint md5Only, both, again;
    ComputeCachedFingerprint(path.c_str(), cache, NULL, &md5Only);
    EXPECT_EQ(L"", std::wstring(md5Only.sha256Hex)) << "SHA-256 only when asked";
    reads = 0;
    ComputeFileDigests(path.c_str(), cache, NULL, true, &both);
    EXPECT_GT((LONG)reads, 0) << "an entry without SHA-256 answered for it";
    EXPECT_EQ(SystemDigest(bytes, SHA256_ALGORITHM), NarrowUtf8(both.sha256Hex));
    EXPECT_EQ(SystemDigest(bytes, CALG_MD5), NarrowUtf8(both.digestHex));
    EXPECT_EQ(std::wstring(md5Only.digestHex), std::wstring(both.digestHex));
    reads = 0;
    ComputeFileDigests(path.c_str(), cache, NULL, true, &again);
    EXPECT_EQ(0, (LONG)reads);
    EXPECT_EQ(std::wstring(both.sha256Hex), std::wstring(again.sha256Hex));
    delete cache;
}

bool CreateShortcut(const std::wstring& shortcut, const std::wstring& target)
{
    CoInitialize(NULL);
    IShellLinkW* link = NULL;
    IPersistFile* file = NULL;
    bool saved = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                            (void**)&link)) &&
                 SUCCEEDED(link->SetPath(target.c_str())) &&
                 SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) &&
                 SUCCEEDED(file->Save(shortcut.c_str(), TRUE));
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return saved;
}

// A shortcut's bytes as the format lays them out: header, a 6-byte ID list,
// LinkInfo with an ANSI local path only, and a relative path.
std::vector<BYTE> CraftShortcut(WORD idListSize, DWORD infoSize, DWORD pathOffset, WORD relativeCount)
{
    std::vector<BYTE> link(0x4C, 0);
    const BYTE head[] = {0x4C, 0, 0, 0, 0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46, 0x0B};
    std::copy(head, head + sizeof(head), link.begin());
    link.push_back((BYTE)idListSize);
    link.push_back((BYTE)(idListSize >> 8));
    link.insert(link.end(), {4, 0, 0x1F, 0x50, 0, 0});
    const char local[] = "C:\\Tools\\tool.exe";
    DWORD fields[] = {infoSize, 0x1C, 1, 0, pathOffset, 0, 0x1C + sizeof(local)};
    link.insert(link.end(), (BYTE*)fields, (BYTE*)fields + sizeof(fields));
    link.insert(link.end(), local, local + sizeof(local));
    link.push_back(0);
    link.push_back((BYTE)relativeCount);
    link.push_back(0);
    for (char c : std::string("tool.exe"))
        link.push_back((BYTE)c);
    return link;
}

// The bytes parsed where they end at a page no one may touch.
bool ParseGuarded(const std::vector<BYTE>& bytes, ShellLinkPaths* paths)
{
    BYTE* pages = (BYTE*)VirtualAlloc(NULL, 0x20000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old = 0;
    VirtualProtect(pages + 0x10000, 0x10000, PAGE_NOACCESS, &old);
    BYTE* at = pages + 0x10000 - bytes.size();
    std::copy(bytes.begin(), bytes.end(), at);
    bool parsed = ParseShellLink(at, bytes.size(), paths);
    VirtualFree(pages, 0, MEM_RELEASE);
    return parsed;
}

// Our own reader of shortcuts: one the shell wrote, and crafted ones whose
// sizes and offsets lie, each refused without a read past its end.
TEST(ShellLink, OneTheShellWroteAndSizesThatLie)
{
    wchar_t temp[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
    std::wstring target = BinPath(L"idle_process.exe"), shortcut = std::wstring(temp) + L"tavrowen-target.lnk";
    ASSERT_TRUE(CreateShortcut(shortcut, target));
    wchar_t read[MAX_PATH];
    ASSERT_TRUE(ReadShellLinkTarget(shortcut.c_str(), read));
    EXPECT_EQ(0, lstrcmpiW(target.c_str(), read)) << NarrowUtf8(read);

    static ShellLinkPaths paths;
    std::vector<BYTE> honest = CraftShortcut(6, 0x1C + 19, 0x1C, 8);
    ASSERT_TRUE(ParseGuarded(honest, &paths));
    EXPECT_EQ(L"C:\\Tools\\tool.exe", std::wstring(paths.localPath));
    EXPECT_EQ(L"tool.exe", std::wstring(paths.relativePath));
    EXPECT_FALSE(ParseGuarded(CraftShortcut(0xFFFF, 0x1C + 19, 0x1C, 8), &paths)) << "an ID list past the end";
    EXPECT_FALSE(ParseGuarded(CraftShortcut(6, 0x7FFFFFFF, 0x1C, 8), &paths)) << "a LinkInfo past the end";
    EXPECT_FALSE(ParseGuarded(CraftShortcut(6, 0x1C + 19, 0x1C, 9), &paths)) << "a relative path past the end";
    ASSERT_TRUE(ParseGuarded(CraftShortcut(6, 0x1C + 19, 0x1C + 19, 8), &paths));
    EXPECT_EQ(L"", std::wstring(paths.localPath)) << "a local path outside its LinkInfo";
    ParseGuarded(CraftShortcut(6, 0x1C + 10, 0x1C, 0), &paths);
    EXPECT_EQ(L"", std::wstring(paths.localPath)) << "a local path with no end inside its LinkInfo";
    for (size_t cut = 0; cut < honest.size(); ++cut)
        ParseGuarded(std::vector<BYTE>(honest.begin(), honest.begin() + cut), &paths);
}

const wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t SERVICE_KEY[] = L"SYSTEM\\CurrentControlSet\\Services\\TavrowenNotesTest";

// Writes what starts `path` at logon, and a few entries that do not.
void PlantLogonEntries(const std::wstring& path, const std::wstring& startup)
{
    std::wstring quoted = L"\"" + path + L"\" /quiet";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Tavrowen svch0st", REG_SZ, quoted.c_str(),
                                   (DWORD)(quoted.size() + 1) * 2));
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"As bytes", REG_BINARY, quoted.c_str(),
                                   (DWORD)(quoted.size() + 1) * 2));
    const wchar_t other[] = L"C:\\windows\\notepad.exe";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Other", REG_SZ, other, sizeof(other)));
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                             0, NULL, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, NULL, &key, NULL));
    const wchar_t expanding[] = L"%TEMP%\\svch0st /x";
    RegSetValueExW(key, L"Tavrowen 32", 0, REG_EXPAND_SZ, (const BYTE*)expanding, sizeof(expanding));
    RegCloseKey(key);
    // A name and a command too long to show, and a bare name that App Paths knows.
    std::wstring padded = quoted + std::wstring(3000, L' ') + L"x";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, std::wstring(300, L'n').c_str(), REG_SZ, quoted.c_str(),
                                   (DWORD)(quoted.size() + 1) * 2));
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Padded", REG_SZ, padded.c_str(),
                                   (DWORD)(padded.size() + 1) * 2));
    const wchar_t bare[] = L"tavrowen-svch0st /x";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Bare", REG_SZ, bare, sizeof(bare)));
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE,
                                   L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tavrowen-svch0st.exe", NULL,
                                   REG_SZ, path.c_str(), (DWORD)(path.size() + 1) * 2));
    ASSERT_TRUE(CreateShortcut(startup + L"\\svch0st.lnk", path));
    std::wstring service = L"\"" + path + L"\" -service";
    DWORD ownProcess = SERVICE_WIN32_OWN_PROCESS, automatic = SERVICE_AUTO_START;
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, SERVICE_KEY, L"ImagePath", REG_EXPAND_SZ, service.c_str(),
                                   (DWORD)(service.size() + 1) * 2));
    ASSERT_TRUE(SetDwordValue(HKEY_LOCAL_MACHINE, SERVICE_KEY, L"Type", ownProcess));
    ASSERT_TRUE(SetDwordValue(HKEY_LOCAL_MACHINE, SERVICE_KEY, L"Start", automatic));
}

TEST_F(ProcessFactsTest, ACopyNamedSvch0stInTempStartedThenTouched)
{
    wchar_t startup[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_STARTUP, NULL, 0, startup)));
    CreateDirectoryW(startup, NULL);
    std::wstring path;
    PROCESS_INFORMATION child;
    ASSERT_TRUE(StartTouchedSvch0st(&path, &child));
    PlantLogonEntries(path, startup);

    static ProcessFacts process;
    ReadProcessFacts(child.dwProcessId, &process);
    EXPECT_EQ(PARENT_RUNNING, process.parent);
    EXPECT_EQ(GetCurrentProcessId(), process.parentId);
    EXPECT_EQ(L"test_process_facts.exe", std::wstring(process.parentName));
    EXPECT_NE(std::wstring::npos, std::wstring(process.user).find(L'\\')) << NarrowUtf8(process.user);
    EXPECT_EQ(FILE_READABLE, process.file.access);
    EXPECT_EQ(ReadFileText(path.c_str()).size(), process.file.size);

    static LogonEntries logon;
    FindLogonEntries(process.file.path, &logon);
    std::vector<std::wstring> entries(logon.text, logon.text + logon.count);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: Bare",
                  L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: (too long)",
                  L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: (too long)",
                  L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: Tavrowen svch0st",
                  L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce: Tavrowen 32",
                  L"Startup folder: svch0st.lnk", L"Service: TavrowenNotesTest"}),
              entries);

    wchar_t folder[FOLDER_TOKEN_TEXT_CAPACITY];
    std::wstring directory = path.substr(0, path.rfind(L'\\'));
    ApplyFolderTokens(directory.c_str(), folder);
    SignerCheck signer;
    CheckFileSigner(path.c_str(), NULL, &signer);
    static NoteFolders folders;
    ReadNoteFolders(&folders);
    NoteFacts facts;
    GatherNoteFacts(&process, folder, L"Microsoft Corporation", &signer, &logon, &folders, &facts);
    static FileNotes notes;
    ListFileNotes(&facts, &notes);
    EXPECT_EQ((std::vector<std::wstring>{L"Claims to be from Microsoft Corporation but is not signed",
                                         L"Has a name that looks like the Windows program svchost.exe",
                                         L"Runs from a folder the user can write to (%temp%)",
                                         L"Changed after the process started", L"Appeared in the last 24 hours",
                                         L"Starts at logon"}),
              std::vector<std::wstring>(notes.text, notes.text + notes.count));

    FileFingerprint digests;
    ComputeFileDigests(path.c_str(), NULL, NULL, true, &digests);
    PropertySheetInput input = {&process, true, true, folder, &digests, NULL, &signer, L"", &logon, &notes};
    static wchar_t sheet[PROPERTY_SHEET_CAPACITY];
    ASSERT_TRUE(FormatPropertySheet(&input, false, sheet, ARRAYSIZE(sheet)));
    std::string text = NarrowUtf8(sheet), bytes = ReadFileText(path.c_str());
    for (std::string line : {"MD5: " + SystemDigest(bytes, CALG_MD5), "SHA-256: " + SystemDigest(bytes, SHA256_ALGORITHM),
                             "Parent: test_process_facts.exe (PID " + std::to_string(GetCurrentProcessId()) + ")",
                             "File: " + NarrowUtf8(path) + "\r\n", std::string("Folder: %temp%\r\n"),
                             std::string("Verified signer: (Not signed)\r\n"),
                             std::string("Notes:\r\n- Claims to be from Microsoft Corporation but is not signed")})
        EXPECT_NE(std::string::npos, text.find(line)) << line << " missing from:\n" << text;
    EndProgram(&child);
}

TEST_F(ProcessFactsTest, AnOrphansParentHasExitedAndAnOldFileInProgramFilesHasNoNotes)
{
    std::wstring orphan = BinPath(L"orphan_process.exe");
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), orphan.c_str(), FALSE));
    PROCESS_INFORMATION shell;
    ASSERT_TRUE(StartProgram(L"C:\\windows\\system32\\cmd.exe", L"/c start \"\" \"" + orphan + L"\"", &shell));
    EXPECT_EQ(0u, WaitForExit(shell, 30000));
    DWORD orphanId = 0;
    WaitUntil([&] {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = {sizeof(entry)};
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
            if (!lstrcmpiW(entry.szExeFile, L"orphan_process.exe"))
                orphanId = entry.th32ProcessID;
        CloseHandle(snapshot);
        return orphanId != 0;
    }, 10000);
    ASSERT_NE(0u, orphanId);
    static ProcessFacts process;
    ReadProcessFacts(orphanId, &process);
    EXPECT_EQ(PARENT_EXITED, process.parent) << "parent " << process.parentId << " " << NarrowUtf8(process.parentName);
    HANDLE end = OpenProcess(PROCESS_TERMINATE, FALSE, orphanId);
    TerminateProcess(end, 0);
    CloseHandle(end);

    // Installed two days ago, by someone who could: nothing to note. Wine
    // makes every folder its user's; this one only the system may write, as
    // Windows keeps Program Files.
    std::wstring folder = ProgramFilesFolder() + L"\\Tavrowen Notes";
    CreateDirectoryW(folder.c_str(), NULL);
    ASSERT_TRUE(SetFolderRights(folder, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
    std::wstring tool = folder + L"\\tool.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), tool.c_str(), FALSE));
    EXPECT_TRUE(BackdateTwoDays(tool));
    ProcessFacts installed = {};
    ReadFileFacts(tool.c_str(), &installed.file);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    installed.startTime = ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime;
    NoteFolders folders;
    ReadNoteFolders(&folders);
    SignerCheck signer = {SIGNER_NOT_SIGNED, SIGNER_FROM_NONE, L""};
    LogonEntries logon = {};
    NoteFacts facts;
    GatherNoteFacts(&installed, L"%programfiles%\\Tavrowen Notes", NULL, &signer, &logon, &folders, &facts);
    FileNotes notes;
    ListFileNotes(&facts, &notes);
    EXPECT_EQ(0, notes.count) << (notes.count ? NarrowUtf8(notes.text[0]) : "");
}

// The user's folders as the file system has them, whatever their spelling:
// under ProgramData a folder everyone may add files to, one only the system
// may, and the first again by its 8.3 name, with a trailing dot, and as the
// home of an alternate data stream.
TEST(NoteFacts, SpellingsOfAFolderTheUserCanWriteToAndAStream)
{
    std::wstring writable = ProgramDataFolder() + L"\\Tavrowen Open Folder", locked = ProgramDataFolder() + L"\\Tavrowen Locked";
    for (const std::wstring& folder : {writable, locked})
        CreateDirectoryW(folder.c_str(), NULL);
    ASSERT_TRUE(SetFolderRights(writable, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;WD)"));
    ASSERT_TRUE(SetFolderRights(locked, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
    for (const std::wstring& folder : {writable, locked})
        ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), (folder + L"\\tool.exe").c_str(), FALSE));
    wchar_t shortFolder[MAX_PATH];
    ASSERT_TRUE(GetShortPathNameW(writable.c_str(), shortFolder, MAX_PATH));
    NoteFolders folders;
    ReadNoteFolders(&folders);
    struct { std::wstring path; const wchar_t* note; std::wstring judged; } cases[] = {
        {writable + L"\\tool.exe", L"Runs from a folder the user can write to", writable + L"\\tool.exe"},
        {std::wstring(shortFolder) + L"\\tool.exe", L"Runs from a folder the user can write to", writable + L"\\tool.exe"},
        {writable + L".\\tool.exe", L"Runs from a folder the user can write to", writable + L"\\tool.exe"},
        {locked + L"\\tool.exe", NULL, locked + L"\\tool.exe"},
        {locked + L"\\tool.exe:hidden.exe", L"Runs from an alternate data stream (hidden.exe)", locked + L"\\tool.exe:hidden.exe"},
    };
    for (const auto& test : cases) {
        static ProcessFacts process;
        ZeroMemory(&process, sizeof(process));
        wcscpy(process.file.path, test.path.c_str());
        NoteFacts facts;
        GatherNoteFacts(&process, NULL, NULL, NULL, NULL, &folders, &facts);
        EXPECT_TRUE(EqualIgnoringCase(test.judged, facts.path)) << NarrowUtf8(facts.path);
        static FileNotes notes;
        ListFileNotes(&facts, &notes);
        std::vector<std::wstring> listed(notes.text, notes.text + notes.count);
        if (test.note)
            EXPECT_EQ(1, std::count(listed.begin(), listed.end(), std::wstring(test.note))) << NarrowUtf8(test.path.c_str());
        else
            EXPECT_EQ(0u, listed.size()) << NarrowUtf8(test.path.c_str()) << ": " << NarrowUtf8(listed[0].c_str());
    }
}

// A path a process's memory gives (its loader list can name anything) is
// opened as a disk file only: a pipe named there is never connected to.
TEST(FileFacts, APipeNamedAsTheFileIsNotConnectedTo)
{
    const wchar_t* pipeName = L"\\\\.\\pipe\\tavrowen-facts";
    ListeningPipe pipe(pipeName);
    ASSERT_TRUE(pipe.Listening());
    FileFacts facts;
    ReadFileFacts(pipeName, &facts);
    EXPECT_EQ(FILE_UNREADABLE, facts.access);
    EXPECT_FALSE(pipe.WasConnected());
}

// The native system folder as either build reaches it: through Sysnative
// from a 32-bit one, where "system32" would mean SysWOW64.
std::wstring NativeSystemPath(const wchar_t* name)
{
    wchar_t windows[MAX_PATH] = L"";
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + (sizeof(void*) == 4 ? L"\\Sysnative\\" : L"\\system32\\") + name;
}

// services.exe, a 64-bit process, read by either build: its sheet hashes the
// file its path names, not a SysWOW64 namesake, and a Run value in the system
// folder is found. Listed with another start time, its PID is a newer
// process's, and nothing of that one is shown.
TEST(ProcessSheet, TheListedProcessAndTheNativeSystemFolder)
{
    DWORD services = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof(entry)};
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !services; more = Process32NextW(snapshot, &entry))
        services = lstrcmpiW(entry.szExeFile, L"services.exe") == 0 ? entry.th32ProcessID : 0;
    CloseHandle(snapshot);
    ASSERT_NE(0u, services);
    std::string digest = SystemDigest(ReadFileText(NativeSystemPath(L"services.exe").c_str()), CALG_MD5);
    ProcessSheet* sheet = new ProcessSheet();
    for (unsigned long long listedStart : {0ull, 1ull}) {
        StartProcessSheet(services, L"services.exe", sheet);
        sheet->expectedStart = listedStart;
        ReadProcessSheet(sheet, true, NULL);
        EXPECT_EQ(listedStart ? "" : digest, NarrowUtf8(sheet->digests.digestHex));
        EXPECT_EQ(!listedStart, sheet->process.found);
        EXPECT_TRUE(!listedStart || !sheet->process.commandLine);
        EXPECT_TRUE(IsProcessSheetComplete(sheet));
        FreeProcessSheet(sheet);
    }
    delete sheet;

    std::wstring native = NativeSystemPath(L"tavrowen-native.exe");
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), native.c_str(), FALSE));
    const wchar_t command[] = L"C:\\windows\\system32\\tavrowen-native.exe /quiet";
    // Written with one byte too many, as some installers do: Windows still runs it.
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Tavrowen native", REG_SZ, command, sizeof(command) - 1));
    LogonEntries entries;
    FindLogonEntries(L"C:\\windows\\system32\\tavrowen-native.exe", &entries);
    EXPECT_EQ(1, entries.count);
    DeleteRegistryValue(HKEY_CURRENT_USER, RUN_KEY, L"Tavrowen native");
    DeleteFileW(native.c_str());
}

}  // namespace
