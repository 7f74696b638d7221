// The two switches, the settings key and the autostart entry.
#include <gtest/gtest.h>
#include "core/seams.h"
#include "core/system_probes.h"
#include "app/elevation.h"
#include "core/settings.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const wchar_t noSplash[] = L"NoSplashScreen";

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\" /autostart";
}

// The Run value's text, or "(absent)"; checks the stored form on the way.
std::wstring ReadRunText()
{
    RegistryValue value = ReadRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
    if (!value.present)
        return L"(absent)";
    EXPECT_EQ((DWORD)REG_SZ, value.type);
    EXPECT_TRUE(value.data.size() >= 2 && value.data.size() % 2 == 0) << value.data.size() << " bytes";
    std::wstring text((const wchar_t*)value.data.data(), value.data.size() / sizeof(wchar_t));
    // The terminating NUL is stored and counted, and it is the only one.
    EXPECT_TRUE(!text.empty() && text.back() == L'\0') << "no terminator stored";
    if (!text.empty() && text.back() == L'\0')
        text.pop_back();
    EXPECT_EQ(std::wstring::npos, text.find(L'\0')) << "a NUL inside the text";
    return text;
}

BOOL WINAPI ReportWindowsXp(LPOSVERSIONINFOW version)
{
    version->dwMajorVersion = 5;
    version->dwMinorVersion = 1;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

BOOL WINAPI ReportUnelevated(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID information, DWORD length, PDWORD returned)
{
    if (length >= sizeof(DWORD))
        *(DWORD*)information = 0;
    *returned = sizeof(DWORD);
    return TRUE;
}

class Settings : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(EnsureSettingsKey());
        DeleteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
    }
    void TearDown() override
    {
        seams.getVersion = GetVersionExW;
        seams.getTokenInformation = GetTokenInformation;
        DeleteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
    }
};

TEST(SettingsKey, FirstStartCreatesItWithNoValues)
{
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    PROCESS_INFORMATION program;
    ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program));
    // The key comes last in start-up, after the tray icon.
    HKEY key = NULL;
    bool opened = WaitUntil(
        [&] { return RegOpenKeyExW(HKEY_CURRENT_USER, settingsPath, 0, KEY_READ, &key) == ERROR_SUCCESS; }, 10000);
    EXPECT_TRUE(opened) << "no settings key after the first start";
    if (opened) {
        DWORD subkeys = 99, values = 99;
        RegQueryInfoKeyW(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
        RegCloseKey(key);
        EXPECT_EQ(0u, values);
        EXPECT_EQ(0u, subkeys);
    }
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
}

TEST_F(Settings, ASwitchIsOnOnlyWhenItsFourBytesReadAsOne)
{
    const DWORD one = 1, two = 2, zero = 0;
    const ULONGLONG wideOne = 1;
    const BYTE shortOne[] = {1, 0};
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD bytes;
        bool on;
    } cases[] = {
        {"REG_DWORD 1", REG_DWORD, &one, 4, true},
        {"REG_DWORD 0", REG_DWORD, &zero, 4, false},
        {"REG_DWORD 2", REG_DWORD, &two, 4, false},
        {"REG_SZ \"1\"", REG_SZ, L"1", 4, false},
        {"REG_QWORD 1", REG_QWORD, &wideOne, 8, false},
        {"REG_BINARY 01 00 00 00", REG_BINARY, &one, 4, true},  // the type is not looked at
        {"REG_BINARY 01 00", REG_BINARY, shortOne, 2, false},   // fewer than 4 bytes: no number
    };
    EXPECT_FALSE(ReadSetting(noSplash)) << "absent";
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, settingsPath, noSplash, c.type, c.data, c.bytes));
        EXPECT_EQ(c.on, ReadSetting(noSplash)) << c.what;
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, settingsPath, 0, KEY_READ, &key));
        EXPECT_EQ(c.on, ReadFlag(key, noSplash)) << c.what;
        RegCloseKey(key);
    }
}

TEST_F(Settings, ToggleWritesTheOppositeAsADword)
{
    const DWORD one = 1, two = 2, zero = 0;
    const ULONGLONG wideOne = 1;
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD bytes;
        DWORD after;
    } cases[] = {
        {"REG_DWORD 2", REG_DWORD, &two, 4, 1},
        {"REG_DWORD 1", REG_DWORD, &one, 4, 0},
        {"REG_DWORD 0", REG_DWORD, &zero, 4, 1},
        {"REG_SZ \"1\"", REG_SZ, L"1", 4, 1},
        {"REG_QWORD 1", REG_QWORD, &wideOne, 8, 1},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, settingsPath, noSplash, c.type, c.data, c.bytes));
        EXPECT_TRUE(ToggleSetting(noSplash)) << c.what;
        EXPECT_TRUE(IsDword(ReadSwitchValue(noSplash), c.after))
            << c.what << " became " << Describe(ReadSwitchValue(noSplash));
    }
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, noSplash);
    EXPECT_TRUE(ToggleSetting(noSplash));
    EXPECT_TRUE(IsDword(ReadSwitchValue(noSplash), 1)) << "absent became " << Describe(ReadSwitchValue(noSplash));

    // Twice brings back the stored state, on or off.
    for (bool start : {false, true}) {
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, noSplash, start ? 1 : 0));
        ToggleSetting(noSplash);
        EXPECT_NE(start, ReadSetting(noSplash));
        ToggleSetting(noSplash);
        EXPECT_EQ(start, ReadSetting(noSplash)) << "toggled twice from " << start;
    }
}

TEST_F(Settings, WithoutTheKeySwitchesReadOffAndTogglesWriteNothing)
{
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    EXPECT_FALSE(ReadSetting(noSplash));
    EXPECT_FALSE(ToggleSetting(noSplash)) << "a toggle without the key reported success";
    HKEY key = NULL;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, settingsPath, 0, KEY_READ, &key))
        << "a toggle created the key";
    EXPECT_TRUE(EnsureSettingsKey());
    EXPECT_TRUE(EnsureSettingsKey()) << "an existing key";
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, settingsPath, 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(Settings, AutostartElevatedOnVistaNamesTavrowen2InTheProgramsDirectory)
{
    // Wine's default: Windows 7 with a full token. This test program is not Tavrowen2.exe.
    ASSERT_TRUE(IsVistaOrLater() && IsElevated());
    EXPECT_FALSE(AutostartEntry(false));
    EXPECT_TRUE(AutostartEntry(true));
    EXPECT_EQ(Quoted(BinPath(L"Tavrowen2.exe")), ReadRunText());
    EXPECT_TRUE(AutostartEntry(false));
    EXPECT_TRUE(AutostartEntry(true));
    EXPECT_EQ(L"(absent)", ReadRunText()) << "toggling twice left an entry";
}

TEST_F(Settings, AutostartOtherwiseNamesTheRunningModule)
{
    seams.getVersion = ReportWindowsXp;
    EXPECT_TRUE(AutostartEntry(true));
    EXPECT_EQ(Quoted(OwnModulePath()), ReadRunText()) << "Windows XP";
    EXPECT_TRUE(AutostartEntry(true));

    seams.getVersion = GetVersionExW;
    seams.getTokenInformation = ReportUnelevated;
    EXPECT_TRUE(AutostartEntry(true));
    EXPECT_EQ(Quoted(OwnModulePath()), ReadRunText()) << "Vista, not elevated";
}

TEST_F(Settings, AnyValueOfThatNameIsOnAndToggleDeletesIt)
{
    const DWORD number = 5;
    struct {
        const char* what;
        std::function<bool()> write;
    } entries[] = {
        {"another folder",
         [] { return WriteStringValue(HKEY_CURRENT_USER, runPath, autostartName, L"\"D:\\Other\\Tavrowen2.exe\""); }},
        {"a number",
         [&] { return WriteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName, REG_DWORD, &number, 4); }},
        {"empty", [] { return WriteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName, REG_BINARY, "", 0); }},
        {"longer than the read buffer",
         [] { return WriteStringValue(HKEY_CURRENT_USER, runPath, autostartName, std::wstring(1500, L'x')); }},
    };
    for (auto& entry : entries) {
        ASSERT_TRUE(entry.write()) << entry.what;
        EXPECT_TRUE(AutostartEntry(false)) << entry.what;
        EXPECT_TRUE(AutostartEntry(true)) << entry.what;
        EXPECT_FALSE(ReadRegistryValue(HKEY_CURRENT_USER, runPath, autostartName).present)
            << entry.what << " was not deleted";
    }
}

TEST_F(Settings, ACommandThatWouldNotFitIsNotWritten)
{
    wchar_t text[24];
    for (bool elevated : {true, false}) {
        seams.getVersion = elevated ? GetVersionExW : ReportWindowsXp;
        wmemset(text, L'x', ARRAYSIZE(text));
        EXPECT_FALSE(BuildAutostartCommand(text, ARRAYSIZE(text))) << "elevated " << elevated;
        EXPECT_EQ(L'\0', text[0]) << "a cut command was left in the buffer, elevated " << elevated;
    }
    wchar_t roomy[1040];
    EXPECT_TRUE(BuildAutostartCommand(roomy, ARRAYSIZE(roomy)));
    EXPECT_EQ(Quoted(OwnModulePath()), roomy);
}

TEST_F(Settings, WithoutTheRunKeyAutostartIsOffAndNothingIsWritten)
{
    // Keep what the prefix had under Run and put it back afterwards.
    std::vector<std::pair<std::wstring, RegistryValue>> saved;
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, runPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = ARRAYSIZE(name);
            if (RegEnumValueW(key, i, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            saved.push_back({name, ReadRegistryValue(HKEY_CURRENT_USER, runPath, name)});
        }
        RegCloseKey(key);
    }
    DeleteRegistryTree(HKEY_CURRENT_USER, runPath);
    EXPECT_FALSE(AutostartEntry(false));
    EXPECT_FALSE(AutostartEntry(true)) << "a toggle without the Run key reported success";
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, runPath, 0, KEY_READ, &key)) << "the Run key was made";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, runPath, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
    RegCloseKey(key);
    for (auto& entry : saved)
        WriteRegistryValue(HKEY_CURRENT_USER, runPath, entry.first.c_str(), entry.second.type,
                           entry.second.data.data(), (DWORD)entry.second.data.size());
}

// The real companion toggles its entry through its menu command: on XP it
// names itself, elevated on Windows 7 it names Tavrowen2.exe beside it.
TEST_F(Settings, TheCompanionsEntryFollowsTheWindowsVersion)
{
    struct {
        const wchar_t* version;
        std::wstring expected;
    } runs[] = {
        {L"winxp", Quoted(BinPath(L"Tavrowen2Admin.exe"))},
        {NULL, Quoted(BinPath(L"Tavrowen2.exe"))},
    };
    for (auto& run : runs) {
        SetWindowsVersionFor(L"Tavrowen2Admin.exe", run.version);
        DeleteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
        PROCESS_INFORMATION program;
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2Admin.exe", L"/autostart", &program));
        PostMessageW(FindMainWindow(), WM_COMMAND, MAKEWPARAM(IDM_AUTOSTART, 0), 0);
        WaitUntil([] { return ReadRegistryValue(HKEY_CURRENT_USER, runPath, autostartName).present; }, 10000);
        EXPECT_TRUE(SameText(run.expected, ReadRunText()))
            << (run.version ? "winxp" : "default") << ": " << NarrowUtf8(ReadRunText());
        EXPECT_EQ(1u, ShutDownTavrowen(&program));
    }
    SetWindowsVersionFor(L"Tavrowen2Admin.exe", NULL);
}

}  // namespace
