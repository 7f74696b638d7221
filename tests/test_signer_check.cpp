// Who signed a file. signer/make_signed_samples.sh makes the samples at test
// time: a small program signed by a leaf of a test root that this test adds
// to the prefix's Root store, the same file with one byte of code changed,
// the program unsigned, signed under a root nobody trusts, and signed by an
// expired leaf without a time stamp. Wine 8's WinVerifyTrust passes the last
// two; the signer's chain tells. The order of the system catalogs' answers is
// shown through the catalog seams, the catalog search itself with a test
// catalog (signer/make_test_catalog.sh) in the catalog folder. Last, the Running
// Processes window, opened in this process, with this process's row standing
// for signed.exe.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <strsafe.h>
#include <mutex>
#include <set>
#include <string>
#include <tlhelp32.h>
#include <winternl.h>
#include <vector>
#include "app/process_window.h"
#include "app/row_details.h"
#include "core/executable_locator.h"
#include "core/seams.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/signer_check.h"
#include "core/system_folders.h"
#include "resource.h"
#include "signer/test_root.h"
#include "test_support.h"

namespace {

std::wstring Sample(const std::wstring& name)
{
    return BinPath((L"signer-samples\\" + name).c_str());
}

std::string SignerText(const std::wstring& path, SignerCache* cache = NULL)
{
    SignerCheck check;
    memset(&check, 0x5A, sizeof(check));
    CheckFileSigner(path.c_str(), cache, &check);
    wchar_t text[SIGNER_NAME_CAPACITY + 32];
    FormatSignerText(&check, text, ARRAYSIZE(text));
    return NarrowUtf8(text);
}

volatile LONG verifyCalls = 0;
volatile LONG mayGoOnline = 0;  // checks that allowed revocation, fetching or a UI
// The files the checks asked about, by name as asked, so that a file first
// seen now can be told from one checked again.
std::mutex checkedFilesLock;
std::set<std::wstring> checkedFiles;

void NoteCheckedFile(const WINTRUST_DATA* asked)
{
    const wchar_t* path = NULL;
    if (asked->dwUnionChoice == WTD_CHOICE_FILE && asked->pFile)
        path = asked->pFile->pcwszFilePath;
    else if (asked->dwUnionChoice == WTD_CHOICE_CATALOG && asked->pCatalog)
        path = asked->pCatalog->pcwszMemberFilePath;
    std::wstring name = path ? path : L"(unnamed)";
    CharLowerW(&name[0]);
    std::lock_guard<std::mutex> hold(checkedFilesLock);
    checkedFiles.insert(name);
}

std::set<std::wstring> TakeCheckedFiles()
{
    std::lock_guard<std::mutex> hold(checkedFilesLock);
    std::set<std::wstring> taken;
    taken.swap(checkedFiles);
    return taken;
}

HANDLE verifyGate = NULL;  // while set, checks wait for it (up to 30 s)
LONG WINAPI CountingVerify(HWND window, GUID* action, LPVOID data)
{
    if (verifyGate)
        WaitForSingleObject(verifyGate, 30000);
    InterlockedIncrement(&verifyCalls);
    const WINTRUST_DATA* asked = (const WINTRUST_DATA*)data;
    NoteCheckedFile(asked);
    if (asked->dwUIChoice != WTD_UI_NONE || asked->fdwRevocationChecks != WTD_REVOKE_NONE ||
        !(asked->dwProvFlags & WTD_CACHE_ONLY_URL_RETRIEVAL))
        InterlockedIncrement(&mayGoOnline);
    return CallWinVerifyTrust(window, action, data);
}

TEST(SignerCheck, EachSampleShowsWhatItsSignatureIsWorth)
{
    TrustTestRoot();
    EXPECT_EQ("Veltrix Test Signer", SignerText(Sample(L"signed.exe")));
    EXPECT_EQ("(Signature not valid)", SignerText(Sample(L"altered.exe")));
    EXPECT_EQ("(Not signed)", SignerText(Sample(L"unsigned.exe")));
    EXPECT_EQ("(Untrusted publisher) Stranger Test Signer", SignerText(Sample(L"stranger.exe")));
    EXPECT_EQ("(Untrusted publisher) Expired Test Signer", SignerText(Sample(L"expired.exe")));
    EXPECT_EQ("(Cannot read the file)", SignerText(Sample(L"no-such-file.exe")));

    // A second check of an unchanged file is answered from the cache; a file
    // rewritten since is checked again.
    SignerCache cache;
    ASSERT_TRUE(InitSignerCache(&cache));
    // Wine keeps no USN journal: only a file under Program Files is kept.
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    std::wstring outside = L"C:\\tavrowen-test\\signer-copy.exe";
    wchar_t programFiles[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, SHGFP_TYPE_CURRENT, programFiles);
    std::wstring copy = std::wstring(programFiles) + L"\\signer-copy.exe";
    ASSERT_TRUE(CopyFileW(Sample(L"signed.exe").c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(Sample(L"signed.exe").c_str(), outside.c_str(), FALSE));
    seams.verifyTrust = CountingVerify;
    for (const std::wstring& path : {copy, outside})
        EXPECT_EQ("Veltrix Test Signer", SignerText(path, &cache));
    EXPECT_GT((LONG)verifyCalls, 0);
    verifyCalls = 0;
    EXPECT_EQ("Veltrix Test Signer", SignerText(CharUpperW(&std::wstring(copy)[0]), &cache));
    EXPECT_EQ(0, (LONG)verifyCalls) << "an unchanged file was checked again";
    EXPECT_EQ("Veltrix Test Signer", SignerText(outside, &cache));
    EXPECT_GT((LONG)verifyCalls, 0) << "a file outside Program Files was answered from the cache";
    verifyCalls = 0;
    ASSERT_TRUE(CopyFileW(Sample(L"altered.exe").c_str(), copy.c_str(), FALSE));
    EXPECT_EQ("(Signature not valid)", SignerText(copy, &cache));
    EXPECT_GT((LONG)verifyCalls, 0) << "a rewritten file was answered from the cache";
    EXPECT_EQ(0, (LONG)mayGoOnline) << "a check could go online or show a UI";
    seams.verifyTrust = CallWinVerifyTrust;
    FreeSignerCache(&cache);
    DeleteFileW(copy.c_str());
    DeleteFileW(outside.c_str());
}

// ---- The system catalogs, replaced -------------------------------------------

struct FakeCatalog {
    CatalogHash algorithm;
    SignerVerdict verdict;
    const wchar_t* signer;
};
std::vector<FakeCatalog> catalogs;
bool sha256Available = true;
std::vector<CatalogHash> searched;
int searchesOpen = 0;
DWORD windowsMajor = 0, windowsMinor = 0;

BOOL WINAPI FakeVersion(LPOSVERSIONINFOW version)
{
    version->dwMajorVersion = windowsMajor;
    version->dwMinorVersion = windowsMinor;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

bool OpenFakeSearch(HANDLE, CatalogHash algorithm, CatalogSearch* search)
{
    ZeroMemory(search, sizeof(*search));
    search->algorithm = algorithm;
    if (algorithm == CATALOG_SHA256 && !sha256Available)
        return false;
    searched.push_back(algorithm);
    ++searchesOpen;
    return true;
}

// hashSize counts the catalogs of the search's algorithm already handed out.
bool NextFakeCatalog(CatalogSearch* search, const wchar_t*, HANDLE, SignerVerdict* verdict, wchar_t* signer)
{
    DWORD seen = 0;
    for (const FakeCatalog& catalog : catalogs) {
        if (catalog.algorithm != search->algorithm || seen++ != search->hashSize)
            continue;
        ++search->hashSize;
        *verdict = catalog.verdict;
        StringCchCopyW(signer, SIGNER_NAME_CAPACITY, catalog.signer);
        return true;
    }
    return false;
}

void CloseFakeSearch(CatalogSearch*)
{
    --searchesOpen;
}

BOOL WINAPI InformationOfHugeFile(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    BOOL informed = GetFileInformationByHandle(file, information);
    information->nFileSizeHigh = 1;  // 4 GiB more
    return informed;
}

TEST(SignerCheck, CatalogsAreAskedInOrderAndTheStrongestAnswerStands)
{
    TrustTestRoot();
    seams.getVersion = FakeVersion;
    seams.openCatalogSearch = OpenFakeSearch;
    seams.findNextCatalogVerdict = NextFakeCatalog;
    seams.closeCatalogSearch = CloseFakeSearch;
    const FakeCatalog both[] = {{CATALOG_SHA256, SIGNER_VERIFIED, L"Sha256 Signer"},
                                {CATALOG_SHA1, SIGNER_VERIFIED, L"Sha1 Signer"}};
    const FakeCatalog staleFirst[] = {{CATALOG_SHA256, SIGNER_NOT_VALID, L""},
                                      {CATALOG_SHA256, SIGNER_UNTRUSTED, L"Stale Signer"},
                                      {CATALOG_SHA1, SIGNER_VERIFIED, L"Sha1 Signer"}};
    struct Case {
        const char* what;
        DWORD major, minor;
        bool sha256;
        std::vector<FakeCatalog> catalogs;
        const wchar_t* file;
        bool huge;
        const char* expected;
        std::vector<CatalogHash> searched;
    } cases[] = {
        {"Windows 8: SHA-256 first", 6, 2, true, {both, both + 2}, L"unsigned.exe", false, "Sha256 Signer",
         {CATALOG_SHA256}},
        {"Windows 7: SHA-1 only", 6, 1, true, {both, both + 2}, L"unsigned.exe", false, "Sha1 Signer", {CATALOG_SHA1}},
        {"no SHA-256 context", 10, 0, false, {both, both + 2}, L"unsigned.exe", false, "Sha1 Signer", {CATALOG_SHA1}},
        {"untrusted goes on", 10, 0, true, {staleFirst, staleFirst + 3}, L"unsigned.exe", false, "Sha1 Signer",
         {CATALOG_SHA256, CATALOG_SHA1}},
        {"strongest stands", 10, 0, true, {staleFirst, staleFirst + 2}, L"unsigned.exe", false,
         "(Untrusted publisher) Stale Signer", {CATALOG_SHA256, CATALOG_SHA1}},
        {"in no catalog", 10, 0, true, {}, L"unsigned.exe", false, "(Not signed)", {CATALOG_SHA256, CATALOG_SHA1}},
        {"over 64 MiB", 10, 0, true, {both, both + 2}, L"unsigned.exe", true, "(Not signed)", {}},
        {"signed itself", 10, 0, true, {both, both + 2}, L"stranger.exe", false,
         "(Untrusted publisher) Stranger Test Signer", {}},
    };
    for (const Case& test : cases) {
        windowsMajor = test.major;
        windowsMinor = test.minor;
        sha256Available = test.sha256;
        catalogs = test.catalogs;
        searched.clear();
        seams.fileInformation = test.huge ? InformationOfHugeFile : GetFileInformationByHandle;
        EXPECT_EQ(test.expected, SignerText(Sample(test.file))) << test.what;
        EXPECT_EQ(test.searched, searched) << test.what;
        EXPECT_EQ(0, searchesOpen) << test.what << ": a search was left open";
    }
    seams.getVersion = GetVersionExW;
    seams.fileInformation = GetFileInformationByHandle;
    seams.openCatalogSearch = OpenSystemCatalogSearch;
    seams.findNextCatalogVerdict = FindNextCatalogVerdict;
    seams.closeCatalogSearch = CloseSystemCatalogSearch;
}

// A catalog for real: the test catalog vouches for its unsigned member, and
// for no other file, and only while it is in the catalog folder.
TEST(SignerCheck, ATestCatalogVouchesForItsMemberOnly)
{
    TrustTestRoot();
    {
        TestCatalog catalog;
        ASSERT_TRUE(catalog.placed) << "no test catalog: did prepare_signed_samples run?";
        SignerCheck check;
        CheckFileSigner(Sample(L"catalogued.exe").c_str(), NULL, &check);
        EXPECT_EQ(SIGNER_FROM_CATALOG, check.source);
        EXPECT_EQ("Veltrix Test Signer", SignerText(Sample(L"catalogued.exe")));
        EXPECT_EQ("(Not signed)", SignerText(Sample(L"unsigned.exe")));
    }
    EXPECT_EQ("(Not signed)", SignerText(Sample(L"catalogued.exe")));
}

// ---- The window ---------------------------------------------------------------

// A signed program started from Program Files, where Wine, which keeps no
// journal, lets a verdict be kept; copied before it starts, so its file is
// no newer than its process.
bool StartSignedProgram(PROCESS_INFORMATION* process)
{
    wchar_t kept[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, SHGFP_TYPE_CURRENT, kept);
    StringCchCatW(kept, MAX_PATH, L"\\signed-sample.exe");
    return (CopyFileW(Sample(L"signed-idle_process.exe").c_str(), kept, TRUE) || GetLastError() == ERROR_FILE_EXISTS) &&
           StartProgram(kept, L"", process);
}

// Only the files whose verdicts may be kept without a journal (Wine keeps
// none) have rows with a path: the Windows folder and Program Files.
bool KeptFilesOnly(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    return FindProcessExecutable(process, exePath) && IsInAdministratorsFolder(exePath);
}

// The signer column (4) of every listed row, by PID (column 1).
std::vector<std::pair<std::wstring, std::wstring>> ListedSigners(HWND list)
{
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    for (int i = 0, count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); i < count; ++i) {
        wchar_t texts[2][300] = {L"", L""};
        for (int column : {1, 4}) {
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = texts[column == 4];
            item.cchTextMax = ARRAYSIZE(texts[0]);
            SendMessageW(list, LVM_GETITEMTEXTW, i, (LPARAM)&item);
        }
        rows.push_back({texts[0], texts[1]});
    }
    return rows;
}

TEST(SignerCheck, WindowShowsSignersAfterTheRowsAndKeepsUnverifiedRowsOnly)
{
    TrustTestRoot();
    ASSERT_TRUE(EnsureSettingsKey());
    WriteSetting(unverifiedOnlySetting, 0);
    PROCESS_INFORMATION signedProgram = {};
    ASSERT_TRUE(StartSignedProgram(&signedProgram));
    const std::wstring self = std::to_wstring(signedProgram.dwProcessId);
    auto signerOfSelf = [&](HWND list) {
        for (const auto& row : ListedSigners(list))
            if (row.first == self)
                return NarrowUtf8(row.second);
        return std::string("(not listed)");
    };
    seams.verifyTrust = CountingVerify;
    seams.processPathSource = KeptFilesOnly;
    TakeCheckedFiles();
    verifyGate = CreateEventW(NULL, TRUE, FALSE, NULL);
    ShowProcessWindow();
    HWND window = ProcessWindowHandle();
    HWND list = GetDlgItem(window, IDC_PROCESS_LIST);
    ASSERT_TRUE(list != NULL);
    EXPECT_EQ("Checking...", signerOfSelf(list)) << "the rows waited for the checks";
    SetEvent(verifyGate);
    ASSERT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 60000)) << "signers not checked within 60 s";
    EXPECT_EQ("Veltrix Test Signer", signerOfSelf(list));
    size_t everyRow = ListedSigners(list).size();

    // Checked, the box keeps every row but the verified one, and says so in the settings.
    SendMessageW(GetDlgItem(window, IDC_PROCESS_UNVERIFIED), BM_CLICK, 0, 0);
    EXPECT_EQ("(not listed)", signerOfSelf(list));
    EXPECT_EQ(everyRow - 1, ListedSigners(list).size());
    for (const auto& row : ListedSigners(list))
        EXPECT_TRUE(row.second.empty() || row.second[0] == L'(') << NarrowUtf8(row.second) << " is listed";
    EXPECT_TRUE(ReadSetting(unverifiedOnlySetting));

    // Opened again, the box is still checked and no file is checked again.
    // A process Wine starts meanwhile is read by a refresh: wait for it, or
    // its reads, cut short by the closing, would count at the next opening.
    ASSERT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 60000));
    CloseProcessWindow();
    std::set<std::wstring> checkedBefore = TakeCheckedFiles();
    ShowProcessWindow();
    window = ProcessWindowHandle();
    list = GetDlgItem(window, IDC_PROCESS_LIST);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(window, IDC_PROCESS_UNVERIFIED));
    ASSERT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 60000));
    EXPECT_EQ("(not listed)", signerOfSelf(list));
    // Counted by file: a process Wine starts between the openings brings a file first seen now.
    std::string again;
    for (const std::wstring& name : TakeCheckedFiles())
        if (checkedBefore.count(name))
            again += " " + NarrowUtf8(name);
    EXPECT_TRUE(again.empty()) << "the second opening checked files again:" << again;
    EXPECT_FALSE(checkedBefore.empty()) << "the first opening checked no file";

    CloseProcessWindow();
    CloseHandle(verifyGate);
    verifyGate = NULL;
    seams.verifyTrust = CallWinVerifyTrust;
    WriteSetting(unverifiedOnlySetting, 0);
    EndProgram(&signedProgram);
}

// rundll32 as a signed file, as Windows' own is.
bool RundllIsSigned(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    if (lstrcmpiW(process->szExeFile, L"rundll32.exe") == 0 || process->th32ProcessID == GetCurrentProcessId())
        return SUCCEEDED(StringCchCopyW(exePath, MAX_PATH, Sample(L"signed.exe").c_str()));
    return FindProcessExecutable(process, exePath);
}

TEST(SignerCheck, UnverifiedOnlyKeepsASignedHostRunningAnUnsignedDll)
{
    TrustTestRoot();
    const std::wstring folder = L"C:\\tavrowen-test\\signer host", dll = folder + L"\\unsigned payload.dll";
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    CreateDirectoryW(folder.c_str(), NULL);
    ASSERT_TRUE(CopyFileW(BinPath(L"payload_dll.dll").c_str(), dll.c_str(), FALSE));
    wchar_t rundll[MAX_PATH];
    GetSystemDirectoryW(rundll, MAX_PATH);
    PROCESS_INFORMATION host = {};
    ASSERT_TRUE(StartProgram(std::wstring(rundll) + L"\\rundll32.exe", L"\"" + dll + L"\",HoldOpen", &host));
    Sleep(500);
    ASSERT_TRUE(EnsureSettingsKey());
    WriteSetting(unverifiedOnlySetting, 1);
    seams.processPathSource = RundllIsSigned;
    ShowProcessWindow();
    HWND list = GetDlgItem(ProcessWindowHandle(), IDC_PROCESS_LIST);
    EXPECT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 60000)) << "signers not checked within 60 s";
    std::wstring hostSigner = L"(not listed)", selfSigner = L"(not listed)";
    for (const auto& row : ListedSigners(list)) {
        if (row.first == std::to_wstring(host.dwProcessId))
            hostSigner = row.second;
        if (row.first == std::to_wstring(GetCurrentProcessId()))
            selfSigner = row.second;
    }
    EXPECT_EQ("Veltrix Test Signer", NarrowUtf8(hostSigner)) << "the host's row went with its verified executable";
    EXPECT_EQ("(not listed)", NarrowUtf8(selfSigner)) << "a verified file running nothing else is listed";
    CloseProcessWindow();
    seams.processPathSource = FindProcessExecutable;
    WriteSetting(unverifiedOnlySetting, 0);
    EndProgram(&host);
}

// Starts a program through RtlCreateUserProcess: Wine's CreateProcessW
// refuses a path over MAX_PATH.
bool StartAnyPathProgram(const std::wstring& path, const std::wstring& arguments, PROCESS_INFORMATION* started)
{
    typedef LONG(NTAPI * MakeParameters)(PVOID*, UNICODE_STRING*, void*, void*, UNICODE_STRING*, void*, void*, void*,
                                         void*, void*);
    typedef LONG(NTAPI * CreateUserProcess)(UNICODE_STRING*, ULONG, PVOID, void*, void*, HANDLE, BOOLEAN, HANDLE,
                                            HANDLE, void*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    MakeParameters make = (MakeParameters)(void*)GetProcAddress(ntdll, "RtlCreateProcessParameters");
    CreateUserProcess create = (CreateUserProcess)(void*)GetProcAddress(ntdll, "RtlCreateUserProcess");
    std::wstring ntPath = L"\\??\\" + path, command = L"\"" + path + L"\" " + arguments;
    auto text = [](const std::wstring& value) {
        return UNICODE_STRING{(USHORT)(value.size() * 2), (USHORT)(value.size() * 2 + 2), (PWSTR)value.c_str()}; };
    UNICODE_STRING image = text(path), nt = text(ntPath), line = text(command);
    struct { ULONG length; HANDLE process, thread, processId, threadId; BYTE image[64]; } info = {sizeof(info)};
    PVOID parameters = NULL;
    if (!make || !create || make(&parameters, &image, NULL, NULL, &line, NULL, NULL, NULL, NULL, NULL) < 0 ||
        create(&nt, 0x40 /* OBJ_CASE_INSENSITIVE */, parameters, NULL, NULL, NULL, FALSE, NULL, NULL, &info) < 0)
        return false;
    ResumeThread(info.thread);
    *started = {info.process, info.thread, (DWORD)(ULONG_PTR)info.processId, (DWORD)(ULONG_PTR)info.threadId};
    return true;
}

// Starts loader_rewriter.exe copied to `path`, and waits until its module list names `loaderName`.
bool StartRewriter(const std::wstring& path, const std::wstring& loaderName, const std::wstring& folderName,
                   PROCESS_INFORMATION* started)
{
    if (!CopyFileW(BinPath(L"loader_rewriter.exe").c_str(), (L"\\\\?\\" + path).c_str(), FALSE) ||
        !StartAnyPathProgram(path, L"\"" + loaderName + L"\" \"" + folderName + L"\"", started))
        return false;
    return WaitUntil([&] {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, started->dwProcessId);
        MODULEENTRY32W module = {sizeof(module)};
        bool rewritten = Module32FirstW(snapshot, &module) && loaderName == module.szExePath;
        CloseHandle(snapshot);
        return rewritten;
    }, 10000);
}

int RowIndexOf(HWND list, DWORD processId)
{
    wchar_t pid[16];
    for (int i = 0, count = ListView_GetItemCount(list); i < count; ++i) {
        ListView_GetItemText(list, i, 1, pid, 16);
        if (std::to_wstring(processId) == pid)
            return i;
    }
    return -1;
}

std::wstring CellOf(HWND list, DWORD processId, int column)
{
    wchar_t text[1040] = L"(not listed)";
    if (RowIndexOf(list, processId) >= 0)
        ListView_GetItemText(list, RowIndexOf(list, processId), column, text, 1040);
    return text;
}

// A svchost.exe from a folder longer than MAX_PATH whose loader entry names
// the signed sample: its row shows its own folder, not the sample's signer,
// and stays under "Show Unverified Only". On XP, where only the loader entry
// names the file, its signer is what the process reports and never verified;
// and a host naming a pipe as its file, its folder and on its command line
// leaves the pipe unconnected while rows are read and its sheet is copied.
TEST(SignerCheck, ALoaderEntryTheProcessRewroteNamesNoFile)
{
    TrustTestRoot();
    std::wstring folder = L"C:\\tavrowen-test\\" + std::wstring(120, L'd') + L"\\" + std::wstring(140, L'e');
    for (size_t end : {(size_t)16, folder.rfind(L'\\'), folder.size()})
        CreateDirectoryW((L"\\\\?\\" + folder.substr(0, end)).c_str(), NULL);
    const wchar_t* pipeName = L"\\\\.\\pipe\\tavrowen-loader";
    ListeningPipe pipe(pipeName);
    ASSERT_TRUE(pipe.Listening());
    PROCESS_INFORMATION forger = {}, piper = {};
    ASSERT_TRUE(StartRewriter(folder + L"\\svchost.exe", Sample(L"signed.exe"), L"C:\\", &forger));
    ASSERT_TRUE(StartRewriter(L"C:\\tavrowen-test\\rundll32.exe", pipeName, pipeName, &piper));
    ASSERT_TRUE(EnsureSettingsKey());
    WriteSetting(unverifiedOnlySetting, 1);
    for (bool xp : {false, true}) {
        seams.getVersion = xp ? ReportXpVersion : GetVersionExW;
        ShowProcessWindow();
        HWND list = GetDlgItem(ProcessWindowHandle(), IDC_PROCESS_LIST);
        EXPECT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 60000)) << "rows not read within 60 s";
        std::string signer = NarrowUtf8(CellOf(list, forger.dwProcessId, 4));
        if (xp) {
            EXPECT_EQ("Veltrix Test Signer (as the process reports it)", signer);
            // Ctrl+C on the pipe's host: its sheet is read and copied.
            ListView_SetItemState(list, RowIndexOf(list, piper.dwProcessId), LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            DWORD clipboard = GetClipboardSequenceNumber();
            SetFocus(list);
            SendMessageW(ProcessWindowHandle(), WM_COMMAND, IDM_COPY_PROPERTIES, 0);
            EXPECT_TRUE(WaitUntil([&] { return GetClipboardSequenceNumber() != clipboard; }, 30000)) << "no sheet copied";
        } else {
            std::wstring shown = CellOf(list, forger.dwProcessId, 5);
            EXPECT_EQ(0, lstrcmpiW(folder.c_str(), shown.c_str())) << NarrowUtf8(shown);
            EXPECT_NE("Veltrix Test Signer", signer);
            EXPECT_NE("(not listed)", signer) << "the row is hidden as verified";
        }
        CloseProcessWindow();
    }
    seams.getVersion = GetVersionExW;
    WriteSetting(unverifiedOnlySetting, 0);
    EXPECT_FALSE(pipe.WasConnected()) << "a name the process reports was opened";
    EndProgram(&forger);
    EndProgram(&piper);
}

}  // namespace
