// The details query: parameters, their order, the extended switch, files
// that cannot be read, overflow of the address, and handles left behind.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <string>
#include <utility>
#include <vector>
#include "core/seams.h"
#include "core/settings.h"
#include "app/setting_names.h"
#include "core/executable_locator.h"
#include "core/file_fingerprint.h"
#include "lookup/process_details.h"
#include "lookup/system_md5.h"
#include "lookup/version_resource.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

const wchar_t settingsPath[] = L"Software\\Veltrix\\Tavrowen2";
const wchar_t switchName[] = L"SendExtendedInfo";

std::string Narrow(const std::wstring& text)
{
    return NarrowUtf8(text);
}

typedef std::vector<std::pair<std::wstring, std::wstring>> Parameters;

// The query string after "?", split and unescaped.
Parameters ParseQuery(const std::wstring& address)
{
    Parameters parameters;
    size_t question = address.find(L'?');
    if (question == std::wstring::npos)
        return parameters;
    std::wstring query = address.substr(question + 1);
    size_t start = 0;
    for (;;) {
        size_t end = query.find(L'&', start);
        std::wstring item = query.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        size_t equals = item.find(L'=');
        std::wstring key = item.substr(0, equals);
        std::wstring value = equals == std::wstring::npos ? L"" : item.substr(equals + 1);
        std::vector<wchar_t> buffer(value.begin(), value.end());
        buffer.push_back(L'\0');
        UrlUnescapeW(buffer.data(), NULL, NULL, URL_UNESCAPE_INPLACE);
        parameters.push_back({key, buffer.data()});
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return parameters;
}

std::string Keys(const Parameters& parameters)
{
    std::string keys;
    for (const auto& parameter : parameters)
        keys += (keys.empty() ? "" : " ") + Narrow(parameter.first);
    return keys;
}

std::wstring Value(const Parameters& parameters, const wchar_t* key)
{
    for (const auto& parameter : parameters)
        if (parameter.first == key)
            return parameter.second;
    return L"(absent)";
}

struct Lookup {
    std::wstring address;     // with the version tag, as it would be opened
    std::wstring pathAfter;   // the caller's buffer after the call
    Parameters parameters;
};

Lookup RunDetails(const std::wstring& path, const wchar_t* name = L"example.exe")
{
    LookupUrl url;
    StartLookupUrl(&url, name);
    wchar_t buffer[MAX_PATH];
    wcsncpy(buffer, path.c_str(), MAX_PATH - 1);
    buffer[MAX_PATH - 1] = L'\0';
    EXPECT_TRUE(AppendProcessDetails(buffer, ReadSetting(extendedInfoSetting), &url));
    AppendVersionTag(&url);
    Lookup lookup;
    lookup.address = url.text;
    lookup.pathAfter = buffer;
    lookup.parameters = ParseQuery(lookup.address);
    return lookup;
}

class ProcessDetails : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        directory = ProgramFilesFolder() + L"\\Tavrowen Test";
        CreateDirectoryW(directory.c_str(), NULL);
        ASSERT_TRUE(CopyIn(L"version_sample.exe", L"example.exe", &sample));
    }
    void TearDown() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        for (const std::wstring& path : made)
            DeleteFileW(path.c_str());
        RemoveDirectoryW(directory.c_str());
    }
    void SwitchOn() { ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, 1)); }
    // Copies a built program into the test directory as `name`; the copy is removed afterwards.
    bool CopyIn(const wchar_t* program, const wchar_t* name, std::wstring* path)
    {
        *path = directory + L"\\" + name;
        if (!CopyFileW(BinPath(program).c_str(), path->c_str(), FALSE))
            return false;
        made.push_back(*path);
        return true;
    }
    // Writes a copy of the program built without version resource, carrying `resource`; removed afterwards.
    bool WriteVersioned(const wchar_t* name, const VersionResource& resource, std::wstring* path)
    {
        *path = directory + L"\\" + name;
        if (!WriteVersionedCopy(BinPath(L"version_blank.exe"), *path, resource))
            return false;
        made.push_back(*path);
        return true;
    }
    std::wstring Make(const std::wstring& name, const std::vector<unsigned char>& bytes)
    {
        std::wstring path = directory + L"\\" + name;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
        CloseHandle(file);
        made.push_back(path);
        return path;
    }
    std::wstring directory;
    std::wstring sample;
    std::vector<std::wstring> made;
};

TEST_F(ProcessDetails, BasicParametersDescribeTheFileAndItsDirectory)
{
    Lookup lookup = RunDetails(sample);
    EXPECT_EQ(0u, lookup.address.find(std::wstring(lookupBaseAddress) + L"example.exe?lpath="))
        << Narrow(lookup.address);
    EXPECT_EQ("lpath md5 size qaver", Keys(lookup.parameters));
    EXPECT_EQ(L"%programfiles%\\Tavrowen Test", Value(lookup.parameters, L"lpath"));
    std::vector<unsigned char> bytes = ReadWholeFile(sample);
    EXPECT_EQ(SystemMd5(bytes), Narrow(Value(lookup.parameters, L"md5")));
    EXPECT_EQ(std::to_wstring(bytes.size()), Value(lookup.parameters, L"size"));
    EXPECT_EQ(L"2.0", Value(lookup.parameters, L"qaver"));
    EXPECT_EQ(Narrow(directory), Narrow(lookup.pathAfter)) << "the caller's buffer holds the directory";
}

TEST_F(ProcessDetails, ExtendedParametersFollowInTheirOrder)
{
    SwitchOn();
    Lookup lookup = RunDetails(sample);
    EXPECT_EQ("lpath md5 size path bfv fd pn cn fv lacp qaver", Keys(lookup.parameters));
    EXPECT_EQ(L"%programfiles%\\Tavrowen Test", Value(lookup.parameters, L"lpath"));
    EXPECT_EQ(directory, Value(lookup.parameters, L"path"));
    EXPECT_EQ(L"1.2.3.4", Value(lookup.parameters, L"bfv"));  // the file version, not 5.6.7.8
    EXPECT_EQ(L"  Sample description", Value(lookup.parameters, L"fd"));
    EXPECT_EQ(L"Sample Product", Value(lookup.parameters, L"pn"));
    EXPECT_EQ(L"Sample & Co", Value(lookup.parameters, L"cn"));
    EXPECT_EQ(L"1.2.3.4 (sample)", Value(lookup.parameters, L"fv"));
    EXPECT_EQ(L"040904b0", Value(lookup.parameters, L"lacp"));
    EXPECT_TRUE(IsWellFormedAddress(lookup.address)) << Narrow(lookup.address);
}

TEST_F(ProcessDetails, SwitchIsOnOnlyForTheNumberOne)
{
    EXPECT_EQ("lpath md5 size qaver", Keys(RunDetails(sample).parameters)) << "settings key absent";

    const DWORD zero = 0, two = 2;
    const ULONGLONG wideOne = 1;
    const wchar_t textOne[] = L"1";
    const BYTE byteOne = 1;
    struct Raw {
        const char* what;
        DWORD type;
        const void* data;
        DWORD bytes;
    } values[] = {
        {"DWORD 0", REG_DWORD, &zero, sizeof(zero)},
        {"DWORD 2", REG_DWORD, &two, sizeof(two)},
        {"QWORD 1", REG_QWORD, &wideOne, sizeof(wideOne)},
        {"string \"1\"", REG_SZ, textOne, sizeof(textOne)},
        {"one byte 1", REG_BINARY, &byteOne, 1},
    };
    for (const Raw& raw : values) {
        ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, settingsPath, switchName, raw.type, raw.data, raw.bytes))
            << raw.what;
        EXPECT_EQ("lpath md5 size qaver", Keys(RunDetails(sample).parameters)) << raw.what;
    }
    // The key without the value.
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, switchName);
    EXPECT_EQ("lpath md5 size qaver", Keys(RunDetails(sample).parameters)) << "value absent";
}

TEST_F(ProcessDetails, SwitchIsReadAtEveryQuery)
{
    SwitchOn();
    EXPECT_EQ(11u, RunDetails(sample).parameters.size());
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, 0));
    EXPECT_EQ(4u, RunDetails(sample).parameters.size());
    SwitchOn();
    EXPECT_EQ(11u, RunDetails(sample).parameters.size());
}

TEST_F(ProcessDetails, FileThatCannotBeOpenedSendsNoDigestOrSize)
{
    std::wstring missing = directory + L"\\missing.exe";
    Lookup lookup = RunDetails(missing);
    EXPECT_EQ("lpath qaver", Keys(lookup.parameters));
    EXPECT_EQ(L"%programfiles%\\Tavrowen Test", Value(lookup.parameters, L"lpath"));

    SwitchOn();
    lookup = RunDetails(missing);
    EXPECT_EQ("lpath path qaver", Keys(lookup.parameters));

    // Held open for writing elsewhere: no digest, the rest as usual.
    SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, 0);
    HANDLE writer = CreateFileW(sample.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    lookup = RunDetails(sample);
    CloseHandle(writer);
    EXPECT_EQ("lpath qaver", Keys(lookup.parameters));
}

// A read failing part-way (as one of a range another process has locked
// would on Windows) leaves out both the digest and the size.
BOOL WINAPI ReadFailingAfterOneRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    static int reads = 0;
    if (++reads % 2 == 0) {
        *read = 0;
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    return ReadFile(file, buffer, size, read, overlapped);
}

TEST_F(ProcessDetails, ReadFailingPartWaySendsNoDigestOrSize)
{
    std::wstring large = Make(L"large.exe", std::vector<unsigned char>(300000, 0x41));
    seams.readFile = ReadFailingAfterOneRead;
    Lookup lookup = RunDetails(large);
    seams.readFile = ReadFile;
    EXPECT_EQ("lpath qaver", Keys(lookup.parameters)) << Narrow(lookup.address);
}

TEST_F(ProcessDetails, EmptyFileSendsSizeZeroAndTheEmptyDigest)
{
    std::wstring empty = Make(L"empty.exe", {});
    Lookup lookup = RunDetails(empty);
    EXPECT_EQ("lpath md5 size qaver", Keys(lookup.parameters));
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", Value(lookup.parameters, L"md5"));
    EXPECT_EQ(L"0", Value(lookup.parameters, L"size"));
}

TEST_F(ProcessDetails, NoVersionResourceLeavesOnlyThePath)
{
    std::wstring blank;
    ASSERT_TRUE(CopyIn(L"version_blank.exe", L"blank.exe", &blank));
    SwitchOn();
    EXPECT_EQ("lpath md5 size path qaver", Keys(RunDetails(blank).parameters));
}

TEST_F(ProcessDetails, NoTranslationSendsTheFixedVersionOnly)
{
    VersionResource resource;
    resource.withTranslation = false;
    resource.fileVersionMS = 0x000A0014;  // 10.20
    resource.fileVersionLS = 0x001E0028;  // 30.40
    resource.tables = {{L"040904b0", {{L"FileDescription", L"unreachable"}}}};
    std::wstring path;
    ASSERT_TRUE(WriteVersioned(L"untranslated.exe", resource, &path));
    SwitchOn();
    Lookup lookup = RunDetails(path);
    EXPECT_EQ("lpath md5 size path bfv qaver", Keys(lookup.parameters));
    EXPECT_EQ(L"10.20.30.40", Value(lookup.parameters, L"bfv"));
}

TEST_F(ProcessDetails, BlankDescriptionIsSentEmpty)
{
    VersionResource resource;
    resource.tables = {{L"040904b0", {{L"FileDescription", L"    "}, {L"CompanyName", L"Co"}}}};
    std::wstring path;
    ASSERT_TRUE(WriteVersioned(L"blank-description.exe", resource, &path));
    SwitchOn();
    Lookup lookup = RunDetails(path);
    EXPECT_EQ("lpath md5 size path bfv fd cn lacp qaver", Keys(lookup.parameters));
    EXPECT_EQ(L"", Value(lookup.parameters, L"fd"));
    EXPECT_NE(std::wstring::npos, lookup.address.find(L"&fd=&cn=Co&")) << Narrow(lookup.address);
}

TEST_F(ProcessDetails, PathWithoutBackslashIsUsedWhole)
{
    SwitchOn();
    Lookup lookup = RunDetails(L"nodirectory.exe");
    EXPECT_EQ(L"nodirectory.exe", Value(lookup.parameters, L"lpath"));
    EXPECT_EQ(L"nodirectory.exe", Value(lookup.parameters, L"path"));
    EXPECT_EQ(L"nodirectory.exe", lookup.pathAfter);
}

// Strings that cannot fit are left out whole; what fits still follows and
// the address ends with the tag.
TEST_F(ProcessDetails, OverlongVersionStringsAreLeftOutWhole)
{
    VersionResource resource;
    resource.tables = {{L"040904b0",
                        {{L"FileDescription", std::wstring(300, L'd')},
                         {L"ProductName", L"p" + std::wstring(450, L' ') + L"p"},  // 1352 escaped
                         {L"CompanyName", L"Short Co"},
                         {L"FileVersion", std::wstring(700, L'v')}}}};
    std::wstring path;
    ASSERT_TRUE(WriteVersioned(L"overlong.exe", resource, &path));
    SwitchOn();
    Lookup lookup = RunDetails(path);
    EXPECT_LT(lookup.address.size(), (size_t)LOOKUP_URL_CAPACITY);
    EXPECT_TRUE(IsWellFormedAddress(lookup.address)) << Narrow(lookup.address);
    EXPECT_EQ("lpath md5 size path bfv fd cn lacp qaver", Keys(lookup.parameters));
    EXPECT_EQ(std::wstring(300, L'd'), Value(lookup.parameters, L"fd"));
    EXPECT_EQ(L"Short Co", Value(lookup.parameters, L"cn"));
    const std::wstring tag = L"&qaver=2.0";
    ASSERT_GE(lookup.address.size(), tag.size());
    EXPECT_EQ(tag, lookup.address.substr(lookup.address.size() - tag.size()));
}

// The lookups of one click: locating a running process (snapshots) and its
// details (file, version block, registry key), found or not.
TEST_F(ProcessDetails, RepeatedQueriesLeaveNoHandlesBehind)
{
    std::wstring blank;
    ASSERT_TRUE(CopyIn(L"version_blank.exe", L"blank.exe", &blank));
    std::wstring empty = Make(L"empty.exe", {});
    const std::wstring paths[] = {sample, blank, empty, directory + L"\\missing.exe", L"nodirectory.exe"};
    auto lookUp = [&] {
        for (const std::wstring& path : paths)
            RunDetails(path);
        wchar_t found[MAX_PATH] = L"";
        EXPECT_TRUE(LocateExecutable(L"test_process_details.exe", found)) << "this test program was not located";
        RunDetails(found);
        EXPECT_FALSE(LocateExecutable(L"no-such-process.exe", found));
    };
    SwitchOn();
    // One round first: libraries, the folder table and registry roots settle.
    lookUp();

    size_t before = CountProcessHandles(GetCurrentProcessId());
    ASSERT_GT(before, 0u) << "the handle list is not available";
    for (int round = 0; round < 40; ++round) {
        if (round == 20)
            SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, 0);
        lookUp();
    }
    size_t after = CountProcessHandles(GetCurrentProcessId());
    EXPECT_LE(after, before) << "handles grew from " << before << " to " << after << " over 280 lookups";
}

// A real click on the strip beside a row of the stand-in Task Manager whose
// process runs from a program installed under Program Files.
class ClickEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
        directory = ProgramFilesFolder() + L"\\Tavrowen Click";
        CreateDirectoryW(directory.c_str(), NULL);
        target = directory + L"\\clicktarget.exe";
        VersionResource resource;
        resource.fileVersionMS = 0x00020001;
        resource.fileVersionLS = 0x00000007;
        resource.tables = {{L"040904b0",
                            {{L"FileDescription", L"Click target"},
                             {L"ProductName", L"Tavrowen Tests"},
                             {L"CompanyName", L"Veltrix"},
                             {L"FileVersion", L"2.1.0.7"}}}};
        ASSERT_TRUE(WriteVersionedCopy(BinPath(L"locator_target.exe"), target, resource));
        ASSERT_TRUE(StartLocatorTarget(target, L"", &targetProcess)) << "clicktarget.exe did not start";

        ASSERT_TRUE(standIn.Start(L"/names:idle.exe|clicktarget.exe|other.exe")) << "no stand-in Task Manager";
        standIn.Send(STANDIN_SHOW, SW_SHOWNORMAL);
        ClearRecordedAddresses();
        ASSERT_TRUE(StartProgram(BinPath(L"Tavrowen2.exe"), L"/autostart", &program));
        ASSERT_TRUE(WaitUntil([&] { return (strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL)) != NULL; },
                              30000))
            << "the link strip did not attach to the stand-in";
    }
    void TearDown() override
    {
        ShutDownTavrowen(&program);
        standIn.Kill();
        EndProgram(&targetProcess);
        DeleteFileW(target.c_str());
        RemoveDirectoryW(directory.c_str());
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    // Clicks the middle of the strip beside `row` and returns the address
    // the browser received for it.
    std::wstring ClickRow(int row)
    {
        size_t recorded = ReadRecordedAddresses().size();
        RECT rowRect = standIn.RowScreenRect(row);
        int y = (rowRect.top + rowRect.bottom) / 2;
        RECT stripRect = {};
        bool reaches = WaitUntil([&] {
            GetWindowRect(strip, &stripRect);
            return y >= stripRect.top && y < stripRect.bottom;
        }, 5000);
        EXPECT_TRUE(reaches) << "the strip does not reach row " << row;
        if (!reaches)
            return L"";
        SetForegroundWindow(standIn.window);
        // The strip takes double clicks: a press soon after the last one
        // would arrive as the second half of one.
        PumpMessagesFor(GetDoubleClickTime() + 200);
        ClickScreenPoint((stripRect.left + stripRect.right) / 2, y);
        EXPECT_TRUE(WaitForRecordedAddresses(recorded + 1, 30000)) << "the browser received no address";
        std::vector<std::wstring> addresses = ReadRecordedAddresses();
        return addresses.size() > recorded ? addresses[recorded] : L"";
    }
    std::wstring directory;
    std::wstring target;
    PROCESS_INFORMATION targetProcess = {};
    PROCESS_INFORMATION program = {};
    StandInTaskManager standIn;
    HWND strip = NULL;
};

TEST_F(ClickEndToEnd, ClickSendsTheDetailsAndFollowsTheSwitch)
{
    std::vector<unsigned char> bytes = ReadWholeFile(target);
    ASSERT_FALSE(bytes.empty());
    const std::wstring md5 = WidenUtf8(SystemMd5(bytes));
    const std::wstring size = std::to_wstring(bytes.size());

    std::wstring address = ClickRow(1);
    EXPECT_EQ(0u, address.find(std::wstring(lookupBaseAddress) + L"clicktarget.exe?")) << Narrow(address);
    Parameters parameters = ParseQuery(address);
    EXPECT_EQ("lpath md5 size qaver", Keys(parameters)) << Narrow(address);
    EXPECT_EQ(L"%programfiles%\\Tavrowen Click", Value(parameters, L"lpath"));
    EXPECT_EQ(md5, Value(parameters, L"md5"));
    EXPECT_EQ(size, Value(parameters, L"size"));

    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, 1));
    address = ClickRow(1);
    parameters = ParseQuery(address);
    EXPECT_EQ("lpath md5 size path bfv fd pn cn fv lacp qaver", Keys(parameters)) << Narrow(address);
    EXPECT_EQ(md5, Value(parameters, L"md5"));
    EXPECT_EQ(directory, Value(parameters, L"path"));
    EXPECT_EQ(L"2.1.0.7", Value(parameters, L"bfv"));
    EXPECT_EQ(L"Click target", Value(parameters, L"fd"));
    EXPECT_EQ(L"Tavrowen Tests", Value(parameters, L"pn"));
    EXPECT_EQ(L"Veltrix", Value(parameters, L"cn"));
    EXPECT_EQ(L"2.1.0.7", Value(parameters, L"fv"));
    EXPECT_EQ(L"040904b0", Value(parameters, L"lacp"));

    // Switched back, the next click is plain again.
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, switchName, 0));
    address = ClickRow(1);
    EXPECT_EQ("lpath md5 size qaver", Keys(ParseQuery(address))) << Narrow(address);

    // A row whose process does not run carries no details.
    address = ClickRow(2);
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"other.exe?qaver=2.0", address);
}

}  // namespace
