// What starts with Windows: entries planted in the prefix's real registry,
// folders and service manager, read back; turning them off and on; the
// store of entries seen; the task definition reader and the notes' rules.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/settings.h"
#include "core/system_probes.h"
#include "lookup/logon_entries.h"
#include "lookup/startup_entries.h"
#include "lookup/startup_notes.h"
#include "lookup/startup_seen.h"
#include "lookup/startup_switch.h"
#include "lookup/startup_tasks.h"
#include "test_support.h"

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t FOLDER[] = L"C:\\tavrowen-startup";

std::wstring PlaceTool(const wchar_t* name)
{
    CreateDirectoryW(FOLDER, NULL);
    std::wstring path = std::wstring(FOLDER) + L"\\" + name;
    EXPECT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), path.c_str(), FALSE));
    return path;
}

bool WriteText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text, REGSAM view = 0)
{
    HKEY key = NULL;
    if (RegCreateKeyExW(root, path, 0, NULL, 0, KEY_SET_VALUE | view, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    bool written = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)text.c_str(),
                                  (DWORD)((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

std::wstring ShellFolder(int csidl)
{
    wchar_t folder[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, csidl | CSIDL_FLAG_CREATE, NULL, 0, folder);
    return folder;
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

const StartupEntry* Find(const StartupList* list, const std::wstring& location, const std::wstring& name)
{
    for (int i = 0; i < list->count; ++i)
        if (!lstrcmpiW(list->entries[i].location, location.c_str()) && name == list->entries[i].entry)
            return &list->entries[i];
    return NULL;
}

bool TwoViews()
{
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

struct ListHolder {
    ListHolder() : list(new StartupList()) { ReadStartupEntries(list); }
    ~ListHolder() { delete list; }
    void Read() { ReadStartupEntries(list); }
    StartupList* list;
};

}  // namespace

TEST(StartupEntries, PlantedEntriesAreFoundWithTheirPlaceProgramAndState)
{
    std::wstring tool = PlaceTool(L"run tool.exe"), machine = PlaceTool(L"machine32.exe"),
                 once = PlaceTool(L"once.exe"), linked = PlaceTool(L"linked.exe"), service = PlaceTool(L"service.exe"),
                 debugger = PlaceTool(L"debugger.exe");
    std::wstring dll = std::wstring(FOLDER) + L"\\payload.dll";
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), dll.c_str(), FALSE));
    // Unquoted with a blank, as CreateProcess finds it: "C:\tavrowen-startup\run" is no file.
    ASSERT_TRUE(WriteText(HKEY_CURRENT_USER, RUN, L"Tavrowen Run", tool + L" /min"));
    ASSERT_TRUE(WriteText(HKEY_LOCAL_MACHINE, RUN, L"Tavrowen Run32", L"\"" + machine + L"\"", KEY_WOW64_32KEY));
    ASSERT_TRUE(WriteText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                          L"Tavrowen Once", once));
    ASSERT_TRUE(WriteText(HKEY_CURRENT_USER, RUN, L"Tavrowen Missing", std::wstring(FOLDER) + L"\\gone.exe /x"));
    ASSERT_TRUE(WriteText(HKEY_CURRENT_USER, RUN, L"Tavrowen Host", L"rundll32.exe \"" + dll + L"\",Start"));
    ASSERT_TRUE(CreateShortcut(ShellFolder(CSIDL_STARTUP) + L"\\Tavrowen linked.lnk", linked));
    std::wstring common = ShellFolder(CSIDL_COMMON_STARTUP) + L"\\tavrowen-common.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), common.c_str(), FALSE));
    ASSERT_TRUE(WriteText(HKEY_LOCAL_MACHINE,
                          L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\tavrowen-victim.exe",
                          L"Debugger", L"\"" + debugger + L"\" -attach", sizeof(void*) == 8 ? KEY_WOW64_64KEY : 0));
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(manager != NULL);
    SC_HANDLE created = CreateServiceW(manager, L"TavrowenStartupTest", L"TavrowenStartupTest", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                       (L"\"" + service + L"\" -service").c_str(), NULL, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(created != NULL) << GetLastError();

    ListHolder read;
    const StartupList* list = read.list;
    std::wstring hkcuRun = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    std::wstring hklmRun32 = TwoViews() ? L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
                                        : L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    struct Expected {
        std::wstring location, name, program;
        StartupKind kind;
        StartupSwitchPlace place;
    } expected[] = {
        {hkcuRun, L"Tavrowen Run", tool, STARTUP_RUN_VALUE, SWITCH_HKCU_RUN},
        {hklmRun32, L"Tavrowen Run32", machine, STARTUP_RUN_VALUE, TwoViews() ? SWITCH_HKLM_RUN32 : SWITCH_HKLM_RUN},
        {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"Tavrowen Once", once, STARTUP_RUN_VALUE,
         SWITCH_NONE},
        {L"Startup folder", L"Tavrowen linked.lnk", linked, STARTUP_FOLDER_ITEM, SWITCH_USER_FOLDER},
        {L"Startup folder (all users)", L"tavrowen-common.exe", common, STARTUP_FOLDER_ITEM, SWITCH_COMMON_FOLDER},
        {L"HKLM\\System\\CurrentControlSet\\Services", L"TavrowenStartupTest", service, STARTUP_SERVICE, SWITCH_NONE},
        {L"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
         L"tavrowen-victim.exe", debugger, STARTUP_IFEO_DEBUGGER, SWITCH_NONE},
    };
    for (const Expected& want : expected) {
        const StartupEntry* entry = Find(list, want.location, want.name);
        ASSERT_TRUE(entry != NULL) << NarrowUtf8(want.location) << ": " << NarrowUtf8(want.name);
        EXPECT_EQ(0, lstrcmpiW(want.program.c_str(), entry->program)) << NarrowUtf8(entry->program);
        EXPECT_TRUE(entry->programFound) << NarrowUtf8(want.name);
        EXPECT_TRUE(entry->enabled) << NarrowUtf8(want.name);
        EXPECT_EQ(want.kind, entry->kind) << NarrowUtf8(want.name);
        EXPECT_EQ(want.place, entry->place) << NarrowUtf8(want.name);
    }
    // Listed once, though a 64-bit Windows shows HKCU's Run in both views.
    int runs = 0;
    for (int i = 0; i < list->count; ++i)
        runs += std::wstring(list->entries[i].entry) == L"Tavrowen Run";
    EXPECT_EQ(1, runs);

    const StartupEntry* missing = Find(list, hkcuRun, L"Tavrowen Missing");
    ASSERT_TRUE(missing != NULL);
    EXPECT_FALSE(missing->programFound);
    EXPECT_EQ(std::wstring(FOLDER) + L"\\gone.exe", missing->program);
    StartupNotes notes;
    ListStartupNotes(missing, NULL, &notes);
    ASSERT_EQ(1, notes.count);
    EXPECT_EQ(L"Its file is missing", std::wstring(notes.text[0]));

    const StartupEntry* host = Find(list, hkcuRun, L"Tavrowen Host");
    ASSERT_TRUE(host != NULL);
    EXPECT_EQ(0, lstrcmpiW(dll.c_str(), host->payload)) << NarrowUtf8(host->payload);

    // The sheet's line for a running copy of the program comes from the same reader.
    LogonEntries logon;
    FindLogonEntries(tool.c_str(), &logon);
    ASSERT_EQ(1, logon.count);
    EXPECT_EQ(hkcuRun + L": Tavrowen Run", logon.text[0]);

    DeleteService(created);
    CloseServiceHandle(created);
    CloseServiceHandle(manager);
}

namespace {

// An XP .job file as its format lays it out: the fixed part, the running
// instance count, the program and its parameters, four empty strings, no
// user or reserved data, then the triggers.
std::vector<BYTE> MakeJob(const std::wstring& program, const std::wstring& parameters, DWORD flags,
                          std::vector<DWORD> triggers)
{
    std::vector<BYTE> job(0x46, 0);
    auto word = [&](WORD value) { job.push_back((BYTE)value); job.push_back((BYTE)(value >> 8)); };
    auto text = [&](const std::wstring& value) {
        word((WORD)(value.size() + 1));
        for (wchar_t c : value + L'\0')
            word(c);
    };
    job[0x14] = 0x46;
    memcpy(&job[0x30], &flags, sizeof(flags));
    text(program);
    text(parameters);
    for (int i = 0; i < 3; ++i)
        text(L"");  // working folder, author, comment
    word(0);        // user data
    word(0);        // reserved data
    WORD at = (WORD)job.size();
    memcpy(&job[0x16], &at, sizeof(at));
    word((WORD)triggers.size());
    for (DWORD type : triggers) {
        size_t start = job.size();
        job.resize(start + 0x30, 0);
        memcpy(&job[start + 0x20], &type, sizeof(type));
    }
    return job;
}

}  // namespace

TEST(TaskDefinitions, TriggersStateAndActionsOfAnXmlDefinitionAndAnXpJob)
{
    std::wstring logon =
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
        L"  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
        L"  <Settings><ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Enabled>false</Enabled></Settings>\r\n"
        L"  <Actions Context=\"Author\">\r\n"
        L"    <Exec><Command>C:\\Program Files\\Tool\\tool.exe</Command>"
        L"<Arguments>/a &amp; /b &quot;x&quot; &#65;&#x42;</Arguments></Exec>\r\n"
        L"    <ComHandler><ClassId>{00000000-0000-0000-0000-000000000000}</ClassId></ComHandler>\r\n"
        L"    <Exec>\r\n      <Command> %windir%\\system32\\cmd.exe </Command>\r\n    </Exec>\r\n"
        L"  </Actions>\r\n</Task>";
    TaskDefinition* task = new TaskDefinition();
    ASSERT_TRUE(ParseTaskXml(logon.c_str(), logon.size(), task));
    EXPECT_TRUE(task->atLogon);
    EXPECT_FALSE(task->atBoot || task->onSchedule);
    EXPECT_FALSE(task->enabled) << "a trigger's Enabled was taken for the task's";
    ASSERT_EQ(2, task->actionCount);
    EXPECT_EQ(L"\"C:\\Program Files\\Tool\\tool.exe\" /a & /b \"x\" AB", std::wstring(task->commands[0]));
    EXPECT_EQ(L"%windir%\\system32\\cmd.exe", std::wstring(task->commands[1]));

    // As Wine registers a task: no triggers, so it does not start by itself.
    std::wstring bare = L"<Task><Actions><Exec><Command>a.exe</Command></Exec></Actions></Task>";
    ASSERT_TRUE(ParseTaskXml(bare.c_str(), bare.size(), task));
    EXPECT_FALSE(StartsByItself(task));
    EXPECT_TRUE(task->enabled);
    std::wstring scheduled = L"<Task><Triggers><CalendarTrigger/><BootTrigger></BootTrigger></Triggers></Task>";
    ASSERT_TRUE(ParseTaskXml(scheduled.c_str(), scheduled.size(), task));
    EXPECT_TRUE(task->onSchedule && task->atBoot && StartsByItself(task));
    EXPECT_EQ(0, task->actionCount);
    // XP's .job: at logon (7), disabled (flag 4); daily (1); at boot (6).
    std::vector<BYTE> job = MakeJob(L"C:\\Program Files\\Tool\\tool.exe", L"/quiet", 4, {7});
    ASSERT_TRUE(ParseJobFile(job.data(), job.size(), task));
    EXPECT_TRUE(task->atLogon && !task->atBoot && !task->onSchedule);
    EXPECT_FALSE(task->enabled);
    ASSERT_EQ(1, task->actionCount);
    EXPECT_EQ(L"\"C:\\Program Files\\Tool\\tool.exe\" /quiet", std::wstring(task->commands[0]));
    job = MakeJob(L"a.exe", L"", 0, {1, 6});
    ASSERT_TRUE(ParseJobFile(job.data(), job.size(), task));
    EXPECT_TRUE(task->enabled && task->onSchedule && task->atBoot && !task->atLogon);
    EXPECT_EQ(L"a.exe", std::wstring(task->commands[0]));
    for (size_t cut = 0; cut < job.size(); ++cut) {
        std::vector<BYTE> head(job.begin(), job.begin() + cut);
        if (ParseJobFile(head.data(), head.size(), task)) {
            EXPECT_FALSE(task->atBoot) << "a trigger read past the end at " << cut;
        }
    }
    std::wstring notATask = L"<Taskbar><Triggers><LogonTrigger/></Triggers></Taskbar>";
    EXPECT_FALSE(ParseTaskXml(notATask.c_str(), notATask.size(), task));
    // Cut anywhere, the text is read no further than it goes.
    for (size_t cut = 0; cut < logon.size(); ++cut) {
        std::vector<wchar_t> head(logon.begin(), logon.begin() + cut);
        ParseTaskXml(head.data(), head.size(), task);
    }
    delete task;
}

// Turning off and on, run as Windows 10 and as Windows 7 by copies of this
// program that Wine is told to report so.
namespace {

const wchar_t APPROVED[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t SWITCHED[] = L"Tavrowen Switch";

std::vector<BYTE> ReadValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* type)
{
    std::vector<BYTE> data(4096);
    DWORD bytes = (DWORD)data.size();
    HKEY key = NULL;
    *type = REG_NONE;
    LONG result = RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key);
    if (result == ERROR_SUCCESS)
        result = RegQueryValueExW(key, name, NULL, type, data.data(), &bytes);
    if (key)
        RegCloseKey(key);
    data.resize(result == ERROR_SUCCESS ? bytes : 0);
    return data;
}

DWORD RunAsVersion(const wchar_t* version, const wchar_t* test)
{
    std::wstring exe = std::wstring(L"test_startup_") + version + L".exe";
    EXPECT_TRUE(CopyFileW(OwnModulePath().c_str(), BinPath(exe.c_str()).c_str(), FALSE));
    std::wstring key = L"Software\\Wine\\AppDefaults\\" + exe;
    EXPECT_TRUE(WriteText(HKEY_CURRENT_USER, key.c_str(), L"Version", version));
    PROCESS_INFORMATION child;
    if (!StartProgram(BinPath(exe.c_str()),
                      std::wstring(L"--gtest_also_run_disabled_tests --gtest_filter=StartupSwitchAs.") + test, &child))
        return (DWORD)-1;
    DWORD code = WaitForExit(child, 120000);
    EndProgram(&child);
    return code;
}

const StartupEntry* FindSwitched(ListHolder* read)
{
    read->Read();
    return Find(read->list, L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", SWITCHED);
}

}  // namespace

TEST(StartupSwitchAs, DISABLED_Windows10)
{
    ASSERT_TRUE(IsWindows8OrLater());
    std::wstring tool = PlaceTool(L"switched.exe");
    ASSERT_TRUE(WriteText(HKEY_CURRENT_USER, RUN, SWITCHED, L"\"" + tool + L"\" /x"));
    DWORD type = 0;
    std::vector<BYTE> before = ReadValue(HKEY_CURRENT_USER, RUN, SWITCHED, &type);
    ListHolder read;
    const StartupEntry* entry = FindSwitched(&read);
    ASSERT_TRUE(entry && entry->enabled);
    ASSERT_EQ((DWORD)ERROR_SUCCESS, DisableStartupEntry(entry));
    std::vector<BYTE> approved = ReadValue(HKEY_CURRENT_USER, APPROVED, SWITCHED, &type);
    ASSERT_EQ(12u, approved.size());
    EXPECT_EQ(REG_BINARY, type);
    EXPECT_EQ(0x03, approved[0]);
    EXPECT_NE(0ull, *(const ULONGLONG*)&approved[4]) << "no time it was turned off";
    EXPECT_EQ(before, ReadValue(HKEY_CURRENT_USER, RUN, SWITCHED, &type)) << "the Run value was changed";
    entry = FindSwitched(&read);
    ASSERT_TRUE(entry != NULL);
    EXPECT_FALSE(entry->enabled);
    LogonEntries logon;
    FindLogonEntries(tool.c_str(), &logon);
    EXPECT_EQ(0, logon.count) << "a disabled entry still starts its program";
    ASSERT_EQ((DWORD)ERROR_SUCCESS, EnableStartupEntry(entry));
    EXPECT_EQ(0x02, ReadValue(HKEY_CURRENT_USER, APPROVED, SWITCHED, &type)[0]);
    entry = FindSwitched(&read);
    ASSERT_TRUE(entry != NULL);
    EXPECT_TRUE(entry->enabled);
}

TEST(StartupSwitchAs, DISABLED_Windows7)
{
    ASSERT_FALSE(IsWindows8OrLater());
    PlaceTool(L"switched.exe");
    DeleteRegistryValue(HKEY_CURRENT_USER, APPROVED, SWITCHED);  // left by the run as Windows 10
    // Expandable, with one byte too many as some installers write it: kept as it is.
    const wchar_t command[] = L"%SystemDrive%\\tavrowen-startup\\switched.exe /x";
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, RUN, SWITCHED, REG_EXPAND_SZ, command, sizeof(command) + 1));
    DWORD type = 0, keptType = 0;
    std::vector<BYTE> before = ReadValue(HKEY_CURRENT_USER, RUN, SWITCHED, &type);
    ListHolder read;
    const StartupEntry* entry = FindSwitched(&read);
    ASSERT_TRUE(entry && entry->enabled);
    ASSERT_EQ((DWORD)ERROR_SUCCESS, DisableStartupEntry(entry));
    std::wstring kept = std::wstring(settingsKeyPath) + L"\\Disabled\\HKCU Run";
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, RUN, SWITCHED, &keptType).empty()) << "still in Run";
    EXPECT_EQ(before, ReadValue(HKEY_CURRENT_USER, kept.c_str(), SWITCHED, &keptType));
    EXPECT_EQ((DWORD)REG_EXPAND_SZ, keptType);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, APPROVED, SWITCHED, &keptType).empty());
    entry = FindSwitched(&read);
    ASSERT_TRUE(entry != NULL) << "our keeping is not read";
    EXPECT_FALSE(entry->enabled);
    EXPECT_TRUE(entry->inOurKeeping);
    ASSERT_EQ((DWORD)ERROR_SUCCESS, EnableStartupEntry(entry));
    EXPECT_EQ(before, ReadValue(HKEY_CURRENT_USER, RUN, SWITCHED, &keptType));
    EXPECT_EQ(type, keptType);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, kept.c_str(), SWITCHED, &keptType).empty());
    entry = FindSwitched(&read);
    ASSERT_TRUE(entry && entry->enabled && !entry->inOurKeeping);

    // A Startup folder item moves into our folder and back, whole.
    std::wstring item = ShellFolder(CSIDL_STARTUP) + L"\\tavrowen-switched.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"idle_process.exe").c_str(), item.c_str(), FALSE));
    std::string bytes = ReadFileText(item.c_str());
    read.Read();
    entry = Find(read.list, L"Startup folder", L"tavrowen-switched.exe");
    ASSERT_TRUE(entry != NULL);
    ASSERT_EQ((DWORD)ERROR_SUCCESS, DisableStartupEntry(entry));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(item.c_str()));
    read.Read();
    entry = Find(read.list, L"Startup folder", L"tavrowen-switched.exe");
    ASSERT_TRUE(entry && !entry->enabled && entry->inOurKeeping);
    ASSERT_EQ((DWORD)ERROR_SUCCESS, EnableStartupEntry(entry));
    EXPECT_EQ(bytes, ReadFileText(item.c_str()));
}

TEST(StartupSwitch, AsWindows10ThroughStartupApprovedAndAsWindows7ThroughOurKeeping)
{
    EXPECT_EQ(0u, RunAsVersion(L"win10", L"DISABLED_Windows10"));
    EXPECT_EQ(0u, RunAsVersion(L"win7", L"DISABLED_Windows7"));
}

TEST(StartupSeen, TheFirstOpeningMarksNothingAndLaterOnesOnlyWhatIsNew)
{
    const wchar_t* setting = L"TestStartupSeen";
    ASSERT_TRUE(EnsureSettingsKey());
    StartupList* list = new StartupList();
    for (int i = 0; i < 3; ++i)
        AddStartupEntry(list, STARTUP_RUN_VALUE, L"HKCU\\Run", (L"entry " + std::to_wstring(i)).c_str());
    ASSERT_TRUE(MarkNewStartupEntries(list, setting));
    for (int i = 0; i < list->count; ++i)
        EXPECT_FALSE(list->entries[i].isNew) << i;
    StartupEntry* added = AddStartupEntry(list, STARTUP_RUN_VALUE, L"HKCU\\Run", L"entry 1");
    wcscpy(added->command, L"another command");  // the same name, a new command: a new entry
    ASSERT_TRUE(MarkNewStartupEntries(list, setting));
    std::vector<bool> marks;
    for (int i = 0; i < list->count; ++i)
        marks.push_back(list->entries[i].isNew);
    EXPECT_EQ((std::vector<bool>{false, false, false, true}), marks);
    ASSERT_TRUE(MarkNewStartupEntries(list, setting));
    EXPECT_FALSE(list->entries[3].isNew) << "seen last time, new again";
    delete list;

    // Full: what is found now stays, with its first day; the oldest of the rest go.
    std::vector<SeenEntry> seen(STARTUP_SEEN_CAPACITY), merged(STARTUP_SEEN_CAPACITY);
    for (int i = 0; i < STARTUP_SEEN_CAPACITY; ++i)
        seen[i] = {(ULONGLONG)i + 1, (ULONGLONG)i + 100};
    ULONGLONG found[] = {5, 999999, 888888};
    bool isNew[3];
    EXPECT_EQ(STARTUP_SEEN_CAPACITY, MergeSeenEntries(seen.data(), STARTUP_SEEN_CAPACITY, false, found, 3, 7777777,
                                                      isNew, merged.data()));
    EXPECT_FALSE(isNew[0]);
    EXPECT_TRUE(isNew[1] && isNew[2]);
    EXPECT_EQ(5ull, merged[0].hash);
    EXPECT_EQ(104ull, merged[0].firstSeen);
    EXPECT_EQ(7777777ull, merged[1].firstSeen);
    for (const SeenEntry& entry : merged)
        EXPECT_NE(1ull, entry.hash) << "the oldest was kept over newer ones";
}

TEST(StartupNotes, AnEntrysOwnRulesAndOnlyThoseOfAFileAtRest)
{
    StartupEntry entry = {};
    wcscpy(entry.program, L"C:\\Windows\\system32\\rundll32.exe");
    entry.programFound = true;
    static NoteFolders folders = {};
    wcscpy(folders.windows, L"C:\\Windows");
    NoteFacts facts = {};
    facts.path = L"C:\\Users\\me\\invoice.pdf.exe";
    facts.attributes = FILE_ATTRIBUTE_HIDDEN;
    facts.processStart = 1;      // no process runs it: a start and a later write say nothing
    facts.lastWriteTime = 1000000000ull;
    facts.changeTime = 1000000000ull;
    facts.logonEntries = 1;
    facts.folders = &folders;
    StartupNotes notes;
    ListStartupNotes(&entry, &facts, &notes);
    EXPECT_EQ((std::vector<std::wstring>{L"Runs through rundll32.exe", L"Has a double extension (.pdf.exe)",
                                         L"Is a hidden file"}),
              std::vector<std::wstring>(notes.text, notes.text + notes.count));
    const wchar_t* hosts[][2] = {{L"C:\\x\\CMD.EXE", L"CMD.EXE"}, {L"powershell.exe", L"powershell.exe"},
                                 {L"wscript.exe", L"wscript.exe"}, {L"mshta.exe", L"mshta.exe"},
                                 {L"regsvr32.exe", L"regsvr32.exe"}, {L"C:\\tool.exe", NULL}, {L"", NULL}};
    for (const auto& host : hosts) {
        const wchar_t* name = FindStartupHostName(host[0]);
        EXPECT_TRUE(host[1] ? name && std::wstring(name) == host[1] : name == NULL) << NarrowUtf8(host[0]);
    }
    // Named but not there: missing; none named (an unreadable shortcut): nothing said.
    wcscpy(entry.program, L"C:\\gone.exe");
    entry.programFound = false;
    ListStartupNotes(&entry, NULL, &notes);
    ASSERT_EQ(1, notes.count);
    EXPECT_EQ(L"Its file is missing", std::wstring(notes.text[0]));
    entry.program[0] = L'\0';
    ListStartupNotes(&entry, NULL, &notes);
    EXPECT_EQ(0, notes.count);
}
