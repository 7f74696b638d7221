// The notes on a process's modules as pure rules, a module's own sheet, and
// the sheet of a real process: module_host loads the test DLL from the temp
// folder and as dwmapi.dll from its own folder, and maps a third copy as an
// image section the loader never lists.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "lookup/module_notes.h"
#include "lookup/module_reads.h"
#include "lookup/process_sheet.h"
#include "signer/test_root.h"
#include "test_support.h"

namespace {

const unsigned long long STARTED = 1000;
typedef std::vector<std::wstring> Notes;

// A module in a folder the user cannot write to, listed by the loader, until a test says otherwise.
struct Module {
    NoteFolders folders = {L"C:\\Windows", L"", {L"C:\\Users\\ann"}};
    ModuleNoteFacts facts = {};
    Module()
    {
        facts.file.folders = &folders;
        facts.file.folderAccess = FOLDER_NOT_WRITABLE_BY_USER;
        facts.inLoaderList = true;
    }
    Notes Of(const wchar_t* path)
    {
        facts.file.path = path;
        ModuleNotes notes;
        ListModuleNotes(&facts, &notes);
        return Notes(notes.text, notes.text + notes.count);
    }
};

TEST(ModuleNotes, FolderAndNameRules)
{
    Module m;
    EXPECT_EQ(Notes(), m.Of(L"C:\\Program Files\\App\\helper.dll"));
    m.facts.file.folderAccess = FOLDER_WRITABLE_BY_USER;
    m.facts.file.folderWithTokens = L"%temp%";
    EXPECT_EQ(Notes{L"Is in a folder the user can write to (%temp%)"}, m.Of(L"C:\\Users\\ann\\Temp\\a.dll"));
    m.facts.file.folderWithTokens = NULL, m.facts.file.folderAccess = FOLDER_ACCESS_UNKNOWN;  // the list decides
    EXPECT_EQ(Notes{L"Is in a folder the user can write to"}, m.Of(L"C:\\USERS\\Ann\\x\\a.dll"));
    m.facts.file.folderAccess = FOLDER_NOT_WRITABLE_BY_USER;

    const wchar_t windowsName[] = L"Has the name of the Windows library dwmapi.dll but is not in the Windows folder";
    EXPECT_EQ(Notes{windowsName}, m.Of(L"C:\\Games\\DWMAPI.DLL"));
    EXPECT_EQ(Notes{windowsName}, m.Of(L"C:\\Windows\\WinSxS\\x\\dwmapi.dll"));
    for (const wchar_t* inWindows : {L"C:\\Windows\\dwmapi.dll", L"c:\\windows\\System32\\dwmapi.dll",
                                     L"C:\\Windows\\SysWOW64\\dwmapi.dll"})
        EXPECT_EQ(Notes(), m.Of(inWindows)) << inWindows;
    EXPECT_EQ(Notes(), m.Of(L"C:\\Games\\dwmapi.dll.bak"));
    KnownLibraryNames known = {1, {L"Ole32.dll"}};
    EXPECT_EQ(Notes(), m.Of(L"C:\\Games\\ole32.dll"));
    m.facts.knownLibraries = &known;
    EXPECT_EQ(Notes{L"Has the name of the Windows library Ole32.dll but is not in the Windows folder"},
              m.Of(L"C:\\Games\\ole32.dll"));
    m.facts.file.folders = NULL;  // no Windows folder known: nothing said
    EXPECT_EQ(Notes(), m.Of(L"C:\\Games\\ole32.dll"));
    m.facts.file.folders = &m.folders;

    // The file rules' name rules, shared.
    EXPECT_EQ(Notes{L"Has a double extension (.pdf.exe)"}, m.Of(L"C:\\App\\report.pdf.exe"));
    EXPECT_EQ(Notes{L"Has hidden characters in its name"}, m.Of(L"C:\\App\\plug\x202Ein.dll"));
}

TEST(ModuleNotes, SignerListAndTimeRules)
{
    Module m;
    const wchar_t path[] = L"C:\\Program Files\\App\\plugin.dll";
    m.facts.programSigner = L"Veltrix Ltd";
    m.facts.file.signerKnown = true;
    for (SignerVerdict verdict : {SIGNER_NOT_SIGNED, SIGNER_NOT_VALID}) {
        m.facts.file.signerVerdict = verdict;
        EXPECT_EQ(Notes{L"Is not signed, in a program signed by Veltrix Ltd"}, m.Of(path)) << verdict;
    }
    for (SignerVerdict verdict : {SIGNER_VERIFIED, SIGNER_UNTRUSTED, SIGNER_CANNOT_CHECK, SIGNER_UNREADABLE}) {
        m.facts.file.signerVerdict = verdict;
        EXPECT_EQ(Notes(), m.Of(path)) << verdict;
    }
    m.facts.file.signerVerdict = SIGNER_NOT_SIGNED;
    m.facts.file.signerKnown = false;  // not checked: nothing said
    EXPECT_EQ(Notes(), m.Of(path));
    m.facts.file.signerKnown = true, m.facts.programSigner = L"";  // the program does not verify
    EXPECT_EQ(Notes(), m.Of(path));

    m.facts.inLoaderList = false;
    EXPECT_EQ(Notes{L"Is not in the process's module list"}, m.Of(path));
    m.facts.inLoaderList = true;
    m.facts.file.processStart = STARTED;
    for (unsigned long long* time : {&m.facts.file.lastWriteTime, &m.facts.file.changeTime}) {
        *time = STARTED + 1;
        EXPECT_EQ(Notes{L"Changed after the process started"}, m.Of(path));
    }
    // Windows' own libraries, unsigned to us and replaced by its updates, are left to Windows.
    m.facts.programSigner = L"Veltrix Ltd";
    EXPECT_EQ(Notes(), m.Of(L"C:\\Windows\\System32\\ntdll.dll"));
    m.facts.file.folderAccess = FOLDER_WRITABLE_BY_USER;
    EXPECT_EQ(Notes(), m.Of(L"C:\\Windows\\WinSxS\\x86_comctl32_6.0\\comctl32.dll"));
    EXPECT_NE(Notes(), m.Of(L"C:\\Windows\\Temp\\plugin.dll")) << "Windows' Temp is anyone's";
    m.facts.file.folderAccess = FOLDER_NOT_WRITABLE_BY_USER, m.facts.programSigner = L"";
    m.facts.file.processStart = 0;  // start unknown
    EXPECT_EQ(Notes(), m.Of(path));
}

std::vector<std::wstring> SplitLines(const std::wstring& all)
{
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = all.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    return lines;
}

std::wstring WholeSheet(DWORD processId, const wchar_t* name)
{
    ProcessSheet* sheet = new ProcessSheet();
    StartProcessSheet(processId, name, sheet);
    ReadProcessSheet(sheet, true, NULL);
    std::vector<wchar_t> text(PROPERTY_SHEET_CAPACITY);
    EXPECT_TRUE(FormatProcessSheet(sheet, &text[0], text.size()));
    FreeProcessSheet(sheet);
    delete sheet;
    return &text[0];
}

// The "  - " lines after "- <path>" of the module whose path ends with `name`; NULL `listed`: must be listed.
Notes ModuleLines(const std::wstring& sheet, const std::wstring& name, bool* listed = NULL)
{
    std::vector<std::wstring> lines = SplitLines(sheet);
    Notes notes;
    bool found = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        if (line.compare(0, 2, L"- ") != 0 || line.size() < name.size() ||
            lstrcmpiW(line.c_str() + line.size() - name.size(), name.c_str()) != 0)
            continue;
        found = true;
        for (size_t n = i + 1; n < lines.size() && lines[n].compare(0, 4, L"  - ") == 0; ++n)
            notes.push_back(lines[n].substr(4));
    }
    if (listed)
        *listed = found;
    else
        EXPECT_TRUE(found) << name << L"\n" << sheet;
    return notes;
}

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return folder;
}

// Starts a module host that loads `loaded` and maps `mapped`, and waits until it has.
bool StartHost(const std::wstring& exe, const std::vector<std::wstring>& loaded, const std::wstring& mapped,
               PROCESS_INFORMATION* process)
{
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, L"TavrowenModuleHostReady");
    std::wstring arguments = L"TavrowenModuleHostReady";
    for (const std::wstring& dll : loaded)
        arguments += L" \"" + dll + L"\"";
    bool started = StartProgram(exe, arguments + L" \"" + mapped + L"\"", process) &&
                   WaitForSingleObject(ready, 30000) == WAIT_OBJECT_0;
    CloseHandle(ready);
    return started;
}

TEST(ProcessModules, SheetListsEachModuleWithItsNotes)
{
    // Wine lets anyone write to the system's folder; Windows does not.
    wchar_t system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    ASSERT_TRUE(SetFolderRights(system, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)"));
    const std::wstring folder = L"C:\\tavrowen-modules\\", temp = TempFolder() + L"tavrowen-module.dll";
    CreateDirectoryW(folder.c_str(), NULL);
    const std::wstring host = folder + L"module_host.exe", planted = folder + L"dwmapi.dll",
                       mapped = folder + L"mapped-only.dll", dll = BinPath(L"payload_dll.dll");
    for (const std::wstring& copy : {temp, planted, mapped})
        ASSERT_TRUE(CopyFileW(dll.c_str(), copy.c_str(), FALSE)) << copy;
    ASSERT_TRUE(CopyFileW(BinPath(L"module_host.exe").c_str(), host.c_str(), FALSE));
    // Wine would load its own dwmapi.dll in place of the one named.
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\module_host.exe\\DllOverrides";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, overrides, L"dwmapi", REG_SZ, L"native", sizeof(L"native")));
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartHost(host, {temp, planted}, mapped, &process));

    std::wstring sheet = WholeSheet(process.dwProcessId, L"module_host.exe");
    Notes notes = ModuleLines(sheet, L"\\tavrowen-module.dll");
    EXPECT_EQ(0u, notes.empty() ? 1 : notes[0].find(L"Is in a folder the user can write to (")) << sheet;
    EXPECT_EQ(L"Has the name of the Windows library dwmapi.dll but is not in the Windows folder",
              ModuleLines(sheet, L"\\dwmapi.dll").at(0));
    EXPECT_EQ(L"Is not in the process's module list", ModuleLines(sheet, L"\\mapped-only.dll").at(0));
    // The executable is not listed again, and the loaded ones are in the loader's list.
    bool listed = true;
    ModuleLines(sheet, L"\\module_host.exe", &listed);
    EXPECT_FALSE(listed) << sheet;
    EXPECT_EQ(sheet.find(L"Is not in the process's module list"), sheet.rfind(L"Is not in the process's module list"));

    // A row's read: the same modules, no digests.
    ProcessModuleNotes rows;
    ReadRowModuleNotes(process.dwProcessId, 0, host.c_str(), NULL, &rows);
    EXPECT_EQ(MODULES_READ, rows.state);
    EXPECT_EQ(3, rows.notedCount);
    for (int i = 0; i < rows.notedCount; ++i) {
        EXPECT_FALSE(rows.noted[i].digests.valid);
        EXPECT_GT(rows.noted[i].notes.count, 0);
        EXPECT_EQ(L'\\', rows.noted[i].path[rows.noted[i].nameOffset - 1]);
    }
    FreeProcessModuleNotes(&rows);
    EndProgram(&process);

    // A process loading only the system's DLLs: its modules have no notes.
    ASSERT_TRUE(StartProgram(BinPath(L"idle_process.exe"), L"", &process));
    WaitForInputIdle(process.hProcess, 5000);
    Sleep(500);
    sheet = WholeSheet(process.dwProcessId, L"idle_process.exe");
    EXPECT_NE(std::wstring::npos, sheet.find(L" (0 with notes)\r\n")) << sheet;
    EndProgram(&process);
    DeleteFileW(temp.c_str());
}

TEST(ProcessModules, UnsignedModuleOfASignedProgramIsNoted)
{
    TrustTestRoot();
    const std::wstring temp = TempFolder() + L"tavrowen-unsigned.dll", mapped = TempFolder() + L"tavrowen-mapped.dll";
    for (const std::wstring& copy : {temp, mapped})
        ASSERT_TRUE(CopyFileW(BinPath(L"payload_dll.dll").c_str(), copy.c_str(), FALSE));
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartHost(BinPath(L"signer-samples\\signed-module_host.exe"), {temp}, mapped, &process));
    Notes notes = ModuleLines(WholeSheet(process.dwProcessId, L"signed-module_host.exe"), L"\\tavrowen-unsigned.dll");
    EXPECT_NE(notes.end(), std::find(notes.begin(), notes.end(), L"Is not signed, in a program signed by Veltrix Test Signer"))
        << (notes.empty() ? L"" : notes[0]);
    EndProgram(&process);
}

// A 64-bit program reads a 32-bit process's modules; a 32-bit one cannot read a 64-bit process's.
TEST(ProcessModules, OtherBitness)
{
    const char* other = getenv("TAVROWEN_OTHER_BIN_DIR");
    std::wstring exe = L"Z:" + WidenUtf8(other ? other : "") + L"/idle_process.exe";
    std::replace(exe.begin(), exe.end(), L'/', L'\\');
    if (!other || GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no build of the other bitness beside this one";
    wchar_t windows[MAX_PATH];
    ASSERT_NE(0u, GetSystemWindowsDirectoryW(windows, MAX_PATH));
    SetFolderRights(std::wstring(windows) + L"\\SysWOW64", L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)");
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartProgram(exe, L"", &process));
    WaitForInputIdle(process.hProcess, 5000);
    Sleep(500);
    std::wstring sheet = WholeSheet(process.dwProcessId, L"idle_process.exe");
    EXPECT_NE(std::wstring::npos, sheet.find(sizeof(void*) == 8 ? L" (0 with notes)\r\n"
                                             : L"\r\nModules: not readable (a 64-bit process, seen from the 32-bit program)\r\n"))
        << sheet;
    EndProgram(&process);
}

TEST(ModuleSheet, ShowsTheModulesEvidenceInOrder)
{
    ProcessModule module = {};
    GetModuleFileNameW(NULL, module.path, MAX_PATH);
    module.inLoaderList = false;
    ModuleProcessContext context = {42, L"host.exe", NULL, 0, NULL, NULL, NULL};
    ModuleSheet* sheet = new ModuleSheet();
    ReadModuleSheet(&module, &context, true, sheet);
    std::vector<wchar_t> text(PROPERTY_SHEET_CAPACITY);
    EXPECT_TRUE(FormatModuleSheet(sheet, &text[0], text.size()));
    std::vector<std::wstring> lines = SplitLines(std::wstring(&text[0]));
    std::vector<std::wstring> labels;
    for (const std::wstring& line : lines)
        labels.push_back(line.substr(0, line.find(L':')));
    // The test program's folder has no token: no "Folder" line.
    labels.resize(14);
    EXPECT_EQ((std::vector<std::wstring>{L"Module", L"File", L"Size", L"MD5", L"SHA-256", L"File version", L"Product",
                                         L"Company", L"Description", L"Original name", L"Verified signer",
                                         L"Loaded by", L"Notes", L"- Is not in the process's module list"}),
              labels) << &text[0];
    EXPECT_EQ(L"Module: test_process_modules.exe", lines.at(0));
    EXPECT_EQ(L"Loaded by: host.exe (PID 42)", lines.at(11));
    EXPECT_EQ(32u + 5, lines.at(3).size());
    delete sheet;
}

}  // namespace
