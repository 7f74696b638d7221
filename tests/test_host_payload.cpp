// What real host processes run, read as the Running Processes window will:
// command lines of either bitness, rundll32, cmd, wscript, a stand-in
// powershell.exe, a dllhost AppID and a service DLL in its own svchost group.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <commctrl.h>
#include <vector>
#include "app/process_list.h"
#include "app/process_view.h"
#include "app/process_window.h"
#include "app/row_details.h"
#include "core/process_command_line.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "lookup/system_md5.h"
#include "resource.h"
#include "core/executable_locator.h"
#include "core/process_services.h"
#include "core/seams.h"
#include "lookup/host_payload.h"
#include "signer/test_root.h"
#include "test_support.h"

namespace {

const std::wstring folder = L"C:\\tavrowen-test\\host payload";
const std::wstring dllPath = folder + L"\\payload dll.dll";
HostPayload payload;
wchar_t text[COMMAND_LINE_CAPACITY];

std::wstring SystemPath(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path) + L"\\" + name;
}

std::wstring OtherBuildPath(const wchar_t* fileName)
{
    wchar_t bin[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TAVROWEN_OTHER_BIN_DIR", bin, MAX_PATH);
    std::wstring path = L"Z:" + std::wstring(bin) + L"/" + fileName;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return bin[0] && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? path : L"";
}

// The payload of a process once it runs (a host reads its command line after start).
std::string RunsOf(DWORD processId, const wchar_t* image)
{
    WaitUntil([&] { return ReadHostPayload(processId, image, NULL, &payload); }, 10000);
    return NarrowUtf8(payload.runs);
}

class HostPayloads : public testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryW(folder.c_str(), NULL);
        // A host of an earlier test may still hold it.
        CopyFileW(BinPath(L"payload_dll.dll").c_str(), dllPath.c_str(), FALSE);
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dllPath.c_str()));
    }
    void TearDown() override
    {
        for (PROCESS_INFORMATION& process : processes)
            EndProgram(&process);
    }
    DWORD Start(const std::wstring& program, const std::wstring& arguments, const wchar_t* directory = NULL)
    {
        processes.push_back(PROCESS_INFORMATION());
        EXPECT_TRUE(StartProgram(program, arguments, &processes.back(), directory)) << NarrowUtf8(program);
        return processes.back().dwProcessId;
    }
    std::vector<PROCESS_INFORMATION> processes;
};

TEST_F(HostPayloads, CommandLinesOfEitherBitnessAndNothingWhenUnreadable)
{
    ASSERT_TRUE(ReadProcessCommandLine(GetCurrentProcessId(), text));
    EXPECT_STREQ(GetCommandLineW(), text);
    EXPECT_FALSE(ReadProcessCommandLine(0, text));
    EXPECT_FALSE(ReadProcessCurrentFolder(0, text));
    EXPECT_STREQ(L"", text);
    const std::wstring arguments = L"/x \"a b\" \\\"q\\\" " + std::wstring(2000, L'z');
    std::vector<std::wstring> programs = {BinPath(L"locator_target.exe")};
    if (sizeof(void*) == 8)  // see below for a 32-bit build
        programs.push_back(OtherBuildPath(L"locator_target.exe"));
    for (const std::wstring& program : programs) {
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(StartLocatorTarget(program, arguments, &process));
        const std::wstring expected = L"\"" + program + L"\" " + arguments;
        EXPECT_TRUE(ReadProcessCommandLine(process.dwProcessId, text));
        EXPECT_EQ(expected, text) << "the kernel's query or the parameters, from " << NarrowUtf8(program);
        EXPECT_TRUE(ReadCommandLineFromParameters(process.dwProcessId, text));
        EXPECT_EQ(expected, text) << "the parameters block of " << NarrowUtf8(program);
        wchar_t current[MAX_PATH], own[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, own);
        EXPECT_TRUE(ReadProcessCurrentFolder(process.dwProcessId, current));
        EXPECT_EQ(0, lstrcmpiW(own, current)) << NarrowUtf8(current);
        EndProgram(&process);
        WaitUntil([&] { return !ReadProcessCommandLine(process.dwProcessId, text); }, 5000);
        EXPECT_FALSE(ReadProcessCommandLine(process.dwProcessId, text)) << "an ended process was read";
        EXPECT_STREQ(L"", text);
    }
}

// A 32-bit build cannot read a 64-bit process under Wine 8: its ntdll has no
// NtWow64QueryInformationProcess64 and gives that process's PEB as NULL.
// Run with --gtest_also_run_disabled_tests where it can.
TEST_F(HostPayloads, DISABLED_CommandLinesOfTheOtherBitness)
{
    ASSERT_FALSE(OtherBuildPath(L"locator_target.exe").empty()) << "needs the other build";
    wchar_t line[COMMAND_LINE_CAPACITY];
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(StartLocatorTarget(OtherBuildPath(L"locator_target.exe"), L"/x", &process));
    EXPECT_TRUE(ReadProcessCommandLine(process.dwProcessId, line));
    EndProgram(&process);
}

TEST_F(HostPayloads, RundllCmdWscriptAndEncodedPowerShellRunWhatTheirLinesName)
{
    // By full path, and by a bare name without extension found in its current folder.
    DWORD byPath = Start(SystemPath(L"rundll32.exe"), L"\"" + dllPath + L"\",HoldOpen");
    DWORD byName = Start(SystemPath(L"rundll32.exe"), L"\"payload dll\",HoldOpen", folder.c_str());
    for (DWORD processId : {byPath, byName}) {
        EXPECT_EQ("payload dll.dll", RunsOf(processId, L"rundll32.exe"));
        ASSERT_EQ(1u, payload.fileCount);
        EXPECT_EQ(0, lstrcmpiW(dllPath.c_str(), payload.files[0])) << NarrowUtf8(payload.files[0]);
    }
    ASSERT_TRUE(ReadProcessCurrentFolder(byName, text));
    EXPECT_EQ(0, lstrcmpiW(folder.c_str(), text)) << NarrowUtf8(text);

    const std::wstring batch = folder + L"\\wait here.bat", script = folder + L"\\wait here.vbs";
    const std::string batchText = "@\"" + NarrowUtf8(SystemPath(L"rundll32.exe")) + "\" \"" + NarrowUtf8(dllPath) +
                                  "\",HoldOpen\r\n";
    // Wine's WScript.Sleep returns at once: the script waits on a program instead.
    const std::string scriptText = "CreateObject(\"WScript.Shell\").Run \"\"\"" + NarrowUtf8(SystemPath(L"rundll32.exe")) +
                                   "\"\" \"\"" + NarrowUtf8(dllPath) + "\"\",HoldOpen\", 0, True\r\n";
    for (auto file : {std::make_pair(batch, batchText), std::make_pair(script, scriptText)}) {
        HANDLE handle = CreateFileW(file.first.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(handle, file.second.data(), (DWORD)file.second.size(), &written, NULL));
        CloseHandle(handle);
    }
    DWORD cmd = Start(SystemPath(L"cmd.exe"), L"/d /c \"wait here.bat\"", folder.c_str());
    DWORD wscript = Start(SystemPath(L"wscript.exe"), L"//B \"" + script + L"\"");
    EXPECT_EQ("wait here.bat", RunsOf(cmd, L"cmd.exe"));
    ASSERT_EQ(1u, payload.fileCount);
    EXPECT_EQ(0, lstrcmpiW(batch.c_str(), payload.files[0])) << NarrowUtf8(payload.files[0]);
    EXPECT_EQ("wait here.vbs", RunsOf(wscript, L"wscript.exe"));
    ASSERT_EQ(1u, payload.fileCount);
    EXPECT_EQ(0, lstrcmpiW(script.c_str(), payload.files[0])) << NarrowUtf8(payload.files[0]);
    Sleep(1000);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(processes.back().hProcess, 0)) << "wscript did not wait on its script";

    // "Start-Sleep 1" as UTF-16LE in base64, given to a program named powershell.exe.
    const std::wstring standIn = folder + L"\\powershell.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"locator_target.exe").c_str(), standIn.c_str(), FALSE));
    processes.push_back(PROCESS_INFORMATION());
    ASSERT_TRUE(StartLocatorTarget(standIn, L"-NoProfile -EncodedCommand UwB0AGEAcgB0AC0AUwBsAGUAZQBwACAAMQA=",
                                   &processes.back()));
    EXPECT_EQ("(encoded command)", RunsOf(processes.back().dwProcessId, L"powershell.exe"));
    EXPECT_EQ(HOST_TEXT_ENCODED_COMMAND, payload.textKind);
    EXPECT_STREQ(L"Start-Sleep 1", payload.text);
    EXPECT_EQ(0u, payload.fileCount);
    EXPECT_FALSE(ReadHostPayload(processes.back().dwProcessId, L"locator_target.exe", NULL, &payload));
    EXPECT_STREQ(L"", payload.runs);
}

TEST_F(HostPayloads, DllhostRunsTheServersOfItsAppIdOrNamesTheAppId)
{
    const wchar_t* classKey = L"Software\\Classes\\CLSID\\{7A3B0C55-1D2E-4F60-8A9B-0C1D2E3F4A5B}";
    const wchar_t appId[] = L"{7A3B0C55-1D2E-4F60-8A9B-0C1D2E3F4A5C}";
    const wchar_t server[] = L"%SystemDrive%\\tavrowen-test\\host payload\\payload dll.dll";
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, classKey, L"AppID", REG_SZ, appId, sizeof(appId)));
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, (std::wstring(classKey) + L"\\InprocServer32").c_str(), NULL,
                                   REG_EXPAND_SZ, server, sizeof(server)));
    EXPECT_TRUE(ReadHostPayload(0, L"dllhost.exe", (std::wstring(L"dllhost /Processid:") + appId).c_str(), &payload));
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, classKey);
    EXPECT_STREQ(L"payload dll.dll", payload.runs);
    ASSERT_EQ(1u, payload.fileCount);
    EXPECT_EQ(0, lstrcmpiW(dllPath.c_str(), payload.files[0])) << NarrowUtf8(payload.files[0]);
    EXPECT_TRUE(ReadHostPayload(0, L"dllhost.exe", (std::wstring(L"dllhost /Processid:") + appId).c_str(), &payload));
    EXPECT_STREQ(appId, payload.runs);
    EXPECT_EQ(0u, payload.fileCount);
    EXPECT_TRUE(payload.unknown) << "an AppID of no server counted as known";
}

// Stand-ins for hosts: our waiting program under a host's name in `folder`.
std::wstring PlaceStandIn(const std::wstring& folder, const wchar_t* name)
{
    CreateDirectoryW(folder.c_str(), NULL);
    std::wstring path = folder + L"\\" + name;
    EXPECT_TRUE(CopyFileW(BinPath(L"locator_target.exe").c_str(), path.c_str(), FALSE)) << NarrowUtf8(path);
    return path;
}

TEST_F(HostPayloads, DllsAreFoundInTheLoadersOrderAndConfirmedAgainstTheMappedImages)
{
    // mpr listed as a KnownDLL comes from the system folder; msi.dll from the host's own folder first.
    const wchar_t known[] = L"mpr.dll";
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs",
                                   L"mpr", REG_SZ, known, sizeof(known)));
    const std::wstring hostFolder = folder + L"\\host";
    std::wstring host = PlaceStandIn(hostFolder, L"regsvr32.exe");
    for (const wchar_t* name : {L"\\mpr.dll", L"\\msi.dll"})
        ASSERT_TRUE(CopyFileW(dllPath.c_str(), (hostFolder + name).c_str(), FALSE));
    processes.push_back(PROCESS_INFORMATION());
    ASSERT_TRUE(StartLocatorTarget(host, L"mpr msi.dll", &processes.back()));
    DWORD standIn = processes.back().dwProcessId;
    // A real rundll32 that has loaded what it names.
    DWORD loader = Start(SystemPath(L"rundll32.exe"), L"\"" + dllPath + L"\",HoldOpen");
    Sleep(2500);  // past the time a host is given to load its DLLs
    EXPECT_EQ("mpr.dll (not loaded), msi.dll (not loaded)", RunsOf(standIn, L"regsvr32.exe"));
    ASSERT_EQ(2u, payload.fileCount);
    // A 32-bit host on 64-bit Windows loads from SysWOW64.
    wchar_t wow64[MAX_PATH] = L"";
    bool wow64Host = sizeof(void*) == 4 && GetSystemWow64DirectoryW(wow64, MAX_PATH) > 0;
    std::wstring systemDll = wow64Host ? std::wstring(wow64) + L"\\mpr.dll" : SystemPath(L"mpr.dll");
    EXPECT_EQ(0, lstrcmpiW(systemDll.c_str(), payload.files[0])) << NarrowUtf8(payload.files[0]);
    EXPECT_EQ(0, lstrcmpiW((hostFolder + L"\\msi.dll").c_str(), payload.files[1])) << NarrowUtf8(payload.files[1]);
    EXPECT_TRUE(payload.unknown);
    EXPECT_EQ("payload dll.dll", RunsOf(loader, L"rundll32.exe")) << "a mapped DLL was not recognised";
    EXPECT_FALSE(payload.unknown);
}

TEST_F(HostPayloads, ServiceDllInItsOwnSvchostGroupIsFoundForItsProcess)
{
    const wchar_t* name = L"TavrowenHostedTest";
    const std::wstring serviceFolder = L"C:\\tavrowen-test\\service dll";
    CreateDirectoryW(serviceFolder.c_str(), NULL);
    ASSERT_TRUE(CopyFileW(BinPath(L"payload_dll.dll").c_str(), (serviceFolder + L"\\payload_dll.dll").c_str(), FALSE));
    const wchar_t dll[] = L"%SystemDrive%\\tavrowen-test\\service dll\\payload_dll.dll";
    const wchar_t group[] = L"TavrowenHostedTest\0";
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost",
                                   L"tavrowentest", REG_MULTI_SZ, group, sizeof(group)));
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(manager != NULL);
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                       (SystemPath(L"svchost.exe") + L" -k tavrowentest").c_str(), NULL, NULL, NULL,
                                       NULL, NULL);
    ASSERT_TRUE(service != NULL) << GetLastError();
    EXPECT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\TavrowenHostedTest\\Parameters",
                                   L"ServiceDll", REG_EXPAND_SZ, dll, sizeof(dll)));
    EXPECT_TRUE(StartServiceW(service, 0, NULL)) << GetLastError();
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    EXPECT_TRUE(WaitUntil([&] {
        return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof(status), &needed) &&
               status.dwCurrentState == SERVICE_RUNNING;
    }, 20000)) << "state " << status.dwCurrentState;

    HostedService services[4];
    EXPECT_EQ(1u, ListProcessServices(status.dwProcessId, services, 4));
    EXPECT_STREQ(name, services[0].name);
    EXPECT_EQ(0, lstrcmpiW((serviceFolder + L"\\payload_dll.dll").c_str(), services[0].dll)) << NarrowUtf8(services[0].dll);
    EXPECT_TRUE(ReadHostPayload(status.dwProcessId, L"svchost.exe", NULL, &payload));
    EXPECT_STREQ(L"TavrowenHostedTest (payload_dll.dll)", payload.runs);
    EXPECT_EQ(1u, payload.fileCount);

    // A service in its own executable is named alone.
    SC_HANDLE own = OpenServiceW(manager, L"RpcSs", SERVICE_QUERY_STATUS);
    EXPECT_TRUE(own && QueryServiceStatusEx(own, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof(status), &needed));
    EXPECT_TRUE(ReadHostPayload(status.dwProcessId, L"rpcss.exe", NULL, &payload));
    EXPECT_STREQ(L"RpcSs", payload.runs);
    CloseServiceHandle(own);

    SERVICE_STATUS stopped;
    ControlService(service, SERVICE_CONTROL_STOP, &stopped);
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// ---- The Running Processes window ------------------------------------------------

std::wstring Cell(HWND list, int item, int column)
{
    wchar_t cell[1040] = L"";
    LVITEMW spec = {};
    spec.iSubItem = column;
    spec.pszText = cell;
    spec.cchTextMax = ARRAYSIZE(cell);
    SendMessageW(list, LVM_GETITEMTEXTW, item, (LPARAM)&spec);
    return cell;
}

int ItemOf(HWND list, DWORD processId)
{
    for (int i = 0, count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); i < count; ++i)
        if (Cell(list, i, 1) == std::to_wstring(processId))
            return i;
    return -1;
}

void PumpWindow(DWORD milliseconds)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(5)) {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            if (!HandleProcessWindowMessage(&message))
                DispatchMessageW(&message);
    }
}

TEST_F(HostPayloads, WindowShowsWhatRundllRunsFiltersOnItsLineAndCtrlEnterLooksUpTheDll)
{
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsKeyPath);
    DWORD host = Start(SystemPath(L"rundll32.exe"), L"\"" + dllPath + L"\",HoldOpen");
    ASSERT_EQ("payload dll.dll", RunsOf(host, L"rundll32.exe"));
    ASSERT_TRUE(ReadProcessCommandLine(host, text));
    ShowProcessWindow();
    HWND window = ProcessWindowHandle(), list = GetDlgItem(window, IDC_PROCESS_LIST);
    ASSERT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 30000)) << "payloads not read within 30 s";
    int item = ItemOf(list, host);
    ASSERT_GE(item, 0);
    EXPECT_EQ(L"payload dll.dll", Cell(list, item, COLUMN_RUNS));
    EXPECT_STREQ(text, Cell(list, item, COLUMN_COMMAND_LINE).c_str());

    // The name's tip names the DLL and its signer.
    wchar_t tip[1024] = L"";
    NMLVGETINFOTIPW request = {{list, IDC_PROCESS_LIST, (UINT)LVN_GETINFOTIPW}, 0, tip, ARRAYSIZE(tip), item, 0, 0};
    SendMessageW(window, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&request);
    EXPECT_NE(std::wstring::npos, std::wstring(tip).find(dllPath + L"\nVerified Signer: (Not signed)")) << NarrowUtf8(tip);

    // The entry point is in no column but the command line.
    SetDlgItemTextW(window, IDC_PROCESS_FILTER, L",HoldOpen");
    item = ItemOf(list, host);
    ASSERT_GE(item, 0) << "the filter passes over the command line";
    for (int i = 0, count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); i < count; ++i)
        EXPECT_NE(std::wstring::npos, Cell(list, i, COLUMN_COMMAND_LINE).find(L",HoldOpen")) << NarrowUtf8(Cell(list, i, 0));

    // Ctrl+Enter on the row runs the DLL's own lookup.
    std::vector<unsigned char> bytes;
    std::string content = ReadFileText(dllPath.c_str());
    bytes.assign(content.begin(), content.end());
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, item, (LPARAM)&state);
    SetFocus(list);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    size_t before = ReadRecordedAddresses().size();
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    PumpWindow(200);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    ASSERT_TRUE(WaitForRecordedAddresses(before + 1, 30000)) << "Ctrl+Enter opened no address";
    std::wstring address = UnescapeUtf8(ReadRecordedAddresses()[before]);
    EXPECT_NE(std::wstring::npos, address.find(L"/payload dll.dll?")) << NarrowUtf8(address);
    EXPECT_NE(std::wstring::npos, address.find(L"md5=" + WidenUtf8(SystemMd5(bytes)))) << NarrowUtf8(address);

    // The layout outlives the window; a saved value of another size is ignored.
    SendMessageW(ProcessWindowHandle(), WM_COMMAND, IDM_TOGGLE_COLUMN + 6, 0);
    int order[COLUMN_COUNT] = {0, 1, 2, 3, 4, 5, 7, 6, 8};
    SendMessageW(list, LVM_SETCOLUMNORDERARRAY, COLUMN_COUNT, (LPARAM)order);
    CloseProcessWindow();
    for (bool damaged : {false, true}) {
        ShowProcessWindow();
        list = GetDlgItem(ProcessWindowHandle(), IDC_PROCESS_LIST);
        int shown[COLUMN_COUNT] = {};
        SendMessageW(list, LVM_GETCOLUMNORDERARRAY, COLUMN_COUNT, (LPARAM)shown);
        EXPECT_EQ(damaged ? processColumnOrder[6] : 7, shown[6]) << "damaged " << damaged;
        EXPECT_EQ(!damaged, SendMessageW(list, LVM_GETCOLUMNWIDTH, 6, 0) == 0) << "damaged " << damaged;
        CloseProcessWindow();
        BYTE shortValue[12] = {};
        WriteRegistryValue(HKEY_CURRENT_USER, settingsKeyPath, processColumnsSetting, REG_BINARY, shortValue, 12);
    }
}

// The stand-in hosts' executables taken for a signed sample, as Windows' own are signed.
std::vector<DWORD> signedHosts;
bool StandInsAreSigned(const PROCESSENTRY32W* process, wchar_t* exePath)
{
    if (std::find(signedHosts.begin(), signedHosts.end(), process->th32ProcessID) != signedHosts.end())
        return lstrcpynW(exePath, BinPath(L"signer-samples\\signed.exe").c_str(), MAX_PATH) != NULL;
    return FindProcessExecutable(process, exePath);
}

TEST_F(HostPayloads, UnverifiedOnlyKeepsSignedHostsWhoseLinesMayRunAnythingAndRundllQuotesHold)
{
    TrustTestRoot();
    const std::wstring hosts = folder + L"\\signed hosts";
    ASSERT_TRUE(CopyFileW(dllPath.c_str(), (folder + L"\\a,b.dll").c_str(), FALSE));
    processes.push_back(PROCESS_INFORMATION());
    ASSERT_TRUE(StartLocatorTarget(PlaceStandIn(hosts, L"cmd.exe"), L"/c \"C:\\x\\ev^il.bat\"", &processes.back()));
    processes.push_back(PROCESS_INFORMATION());
    ASSERT_TRUE(StartLocatorTarget(PlaceStandIn(hosts, L"rundll32.exe"), L"\"" + folder + L"\\a,b.dll\",Entry",
                                   &processes.back()));
    signedHosts = {processes[0].dwProcessId, processes[1].dwProcessId};
    Sleep(2500);  // past the time a host is given to load its DLLs
    ASSERT_TRUE(EnsureSettingsKey());
    WriteSetting(unverifiedOnlySetting, 1);
    seams.processPathSource = StandInsAreSigned;
    ShowProcessWindow();
    HWND list = GetDlgItem(ProcessWindowHandle(), IDC_PROCESS_LIST);
    EXPECT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 60000)) << "rows not read within 60 s";
    std::wstring cells[2][2];
    for (int host = 0; host < 2; ++host) {
        int item = ItemOf(list, signedHosts[host]);
        for (int column = 0; item >= 0 && column < 2; ++column)
            cells[host][column] = Cell(list, item, column ? COLUMN_RUNS : COLUMN_SIGNER);
    }
    CloseProcessWindow();
    seams.processPathSource = FindProcessExecutable;
    WriteSetting(unverifiedOnlySetting, 0);
    EXPECT_EQ("Veltrix Test Signer", NarrowUtf8(cells[0][0])) << "the cmd line's row is not listed";
    EXPECT_EQ("\"C:\\x\\ev^il.bat\"", NarrowUtf8(cells[0][1]));
    EXPECT_EQ("Veltrix Test Signer", NarrowUtf8(cells[1][0])) << "the rundll32 row is not listed";
    EXPECT_EQ("a,b.dll (not loaded)", NarrowUtf8(cells[1][1]));
}

}  // namespace
