// Lookup addresses: form, escaping, overflow, opening and the browser fallback.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <string>
#include <vector>
#include "core/seams.h"
#include "core/desktop_shell.h"
#include "core/lookup_url.h"
#include "test_support.h"

namespace {

const std::wstring base = L"https://www.kestrava.com/directory/files/";

std::wstring Lookup(const wchar_t* name)
{
    LookupUrl url;
    StartLookupUrl(&url, name);
    AppendVersionTag(&url);
    return url.text;
}

size_t Count(const std::wstring& text, const std::wstring& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct ShellCall {
    std::wstring file;
    std::wstring parameters;
};
std::vector<ShellCall> shellCalls;
UINT_PTR shellResult = 33;
DWORD tokenElevated = 0;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT)
{
    shellCalls.push_back({file ? file : L"", parameters ? parameters : L""});
    UINT_PTR result = shellCalls.size() == 1 ? shellResult : 42;
    return (HINSTANCE)result;
}

BOOL WINAPI ReportToken(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID information, DWORD, PDWORD returned)
{
    *(DWORD*)information = tokenElevated;
    *returned = sizeof(DWORD);
    return TRUE;
}

// The browsers the handler's commands name; only existing files are started.
const wchar_t* const browsers[] = {L"C:\\Browsers", L"C:\\Browsers\\web.exe", L"C:\\web", L"C:\\web\\web.exe",
                                   L"C:\\Program Files\\Web", L"C:\\Program Files\\Web\\web.exe"};

class BrowserFallback : public testing::Test {
protected:
    void SetUp() override
    {
        shellCalls.clear();
        seams.shellExecute = RecordShellExecute;
        // The fallback runs only unelevated, and Wine elevates every process.
        tokenElevated = 0;
        seams.getTokenInformation = ReportToken;
        for (const wchar_t* path : browsers)
            if (!wcsstr(path, L".exe"))
                CreateDirectoryW(path, NULL);
            else
                CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                        &key, NULL);
        DWORD bytes = sizeof(saved);
        hadValue = RegQueryValueExW(key, NULL, NULL, NULL, (BYTE*)saved, &bytes) == ERROR_SUCCESS;
    }
    void TearDown() override
    {
        seams.shellExecute = ShellExecuteW;
        seams.getTokenInformation = GetTokenInformation;
        seams.desktopShellElevated = IsDesktopShellElevated;
        seams.openAsDesktopShell = OpenAsDesktopShell;
        seams.shellDispatchOpen = OpenWithShellDispatch;
        if (hadValue)
            RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE*)saved, (DWORD)((wcslen(saved) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void SetCommand(const wchar_t* command)
    {
        RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE*)command, (DWORD)((wcslen(command) + 1) * sizeof(wchar_t)));
    }
    std::wstring Browser()
    {
        wchar_t exe[MAX_PATH] = L"untouched";
        return FindBrowserExecutable(exe, MAX_PATH) ? exe : L"(none)";
    }
    HKEY key = NULL;
    wchar_t saved[1024] = {};
    bool hadValue = false;
};

}  // namespace

TEST(LookupAddress, SearchStyleAddressHasOnlyTheTag)
{
    EXPECT_EQ(base + L"example.exe?qaver=2.0", Lookup(L"example.exe"));
    EXPECT_EQ(base + L"?qaver=2.0", Lookup(L""));
}

TEST(LookupAddress, NameStaysOnePathSegment)
{
    std::wstring address = Lookup(L"my app?.exe#1/2%3");
    std::wstring segment = address.substr(base.size(), address.find(L"?qaver") - base.size());
    EXPECT_EQ(L"my%20app%3F.exe%231%2F2%253", segment);
    EXPECT_EQ(std::wstring::npos, segment.find_first_of(L" ?#/"));
    EXPECT_TRUE(IsWellFormedAddress(address)) << address;
}

TEST(LookupAddress, KeysAndValuesEscapedSeparatorsNot)
{
    LookupUrl url;
    StartLookupUrl(&url, L"a.exe");
    EXPECT_TRUE(AppendQueryParameter(&url, L"lpath", L"%programfiles%\\My App"));
    EXPECT_TRUE(AppendQueryParameter(&url, L"my key", L"50% off"));
    EXPECT_TRUE(AppendQueryParameter(&url, L"empty", L""));
    AppendVersionTag(&url);
    AppendVersionTag(&url);
    EXPECT_EQ(base + L"a.exe?lpath=%25programfiles%25%5CMy%20App&my%20key=50%25%20off&empty=&qaver=2.0",
              std::wstring(url.text));
}

TEST_F(BrowserFallback, OverflowLeavesParametersOutWholeAndKeepsTagLast)
{
    std::wstring longValue(300, L' ');  // 900 characters once escaped
    wchar_t guarded[LOOKUP_URL_CAPACITY + 64];
    LookupUrl* url = reinterpret_cast<LookupUrl*>(guarded);
    for (size_t i = 0; i < ARRAYSIZE(guarded); ++i)
        guarded[i] = L'#';
    const wchar_t* guard = reinterpret_cast<const wchar_t*>(url + 1);
    std::wstring guardBefore(guard, guarded + ARRAYSIZE(guarded) - guard);

    std::wstring name(259, L'%');  // the longest name, 777 characters escaped
    StartLookupUrl(url, name.c_str());
    EXPECT_TRUE(AppendQueryParameter(url, L"md5", L"0123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(AppendQueryParameter(url, L"fd", longValue.c_str()));
    for (int i = 0; i < 50; ++i)
        AppendQueryParameter(url, L"size", L"123456");
    OpenLookupUrl(url);
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(std::wstring(url->text), shellCalls[0].file);

    std::wstring address = url->text;
    EXPECT_LE(address.size(), 1039u);
    EXPECT_EQ(1u, Count(address, L"qaver=2.0"));
    EXPECT_EQ(L"&qaver=2.0", address.substr(address.size() - 10));
    EXPECT_EQ(std::wstring::npos, address.find(L"fd="));
    EXPECT_TRUE(IsWellFormedAddress(address)) << NarrowUtf8(address);
    EXPECT_EQ(guardBefore, std::wstring(guard, guarded + ARRAYSIZE(guarded) - guard));
}

TEST(LookupAddress, RecorderReceivesExactlyTheAddressBuilt)
{
    ClearRecordedAddresses();
    LookupUrl url;
    StartLookupUrl(&url, L"two words.exe");
    AppendQueryParameter(&url, L"size", L"42");
    OpenLookupUrl(&url);
    ASSERT_TRUE(WaitForRecordedAddresses(1, 20000));
    std::vector<std::wstring> recorded = ReadRecordedAddresses();
    ASSERT_EQ(1u, recorded.size());
    EXPECT_EQ(base + L"two%20words.exe?size=42&qaver=2.0", recorded[0]);
    EXPECT_EQ(std::wstring(url.text), recorded[0]);
}

TEST_F(BrowserFallback, ShellResult33IsSuccessAnd32IsFailure)
{
    SetCommand(L"\"C:\\Browsers\\web.exe\" -url \"%1\"");
    shellResult = 33;
    LookupUrl url;
    StartLookupUrl(&url, L"a.exe");
    OpenLookupUrl(&url);
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(base + L"a.exe?qaver=2.0", shellCalls[0].file);

    shellCalls.clear();
    shellResult = 32;
    StartLookupUrl(&url, L"a.exe");
    OpenLookupUrl(&url);
    ASSERT_EQ(2u, shellCalls.size());
    EXPECT_EQ(L"C:\\Browsers\\web.exe", shellCalls[1].file);
    EXPECT_EQ(base + L"a.exe?qaver=2.0", shellCalls[1].parameters);
    shellResult = 33;
}

TEST_F(BrowserFallback, NoRegistrationStartsNothing)
{
    RegDeleteValueW(key, NULL);
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command");
    RegCloseKey(key);
    key = NULL;
    shellResult = 31;
    LookupUrl url;
    StartLookupUrl(&url, L"a.exe");
    OpenLookupUrl(&url);
    EXPECT_EQ(1u, shellCalls.size());
    wchar_t exe[MAX_PATH] = L"untouched";
    EXPECT_FALSE(FindBrowserExecutable(exe, MAX_PATH));
    shellResult = 33;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
}

TEST_F(BrowserFallback, CommandParsing)
{
    SetCommand(L"\"C:\\Program Files\\Web\\web.exe\" -osint -url \"%1\"");
    EXPECT_EQ(L"C:\\Program Files\\Web\\web.exe", Browser());
    SetCommand(L"\"C:\\Program Files\\Web\\web.exe -url");
    EXPECT_EQ(L"(none)", Browser()) << "no closing quote";
    SetCommand(L"\"\"C:\\web.exe\" %1");
    EXPECT_EQ(L"(none)", Browser());
    SetCommand(L" C:\\web.exe %1");
    EXPECT_EQ(L"(none)", Browser());
    SetCommand(L"C:\\Program Files\\Web\\web.exe %1");
    EXPECT_EQ(L"(none)", Browser()) << "unquoted, the program is C:\\Program";
    SetCommand(L"web.exe %1");
    EXPECT_EQ(L"(none)", Browser()) << "a bare name would be searched for";
    SetCommand(L"\"C:\\web\\missing.exe\" %1");
    EXPECT_EQ(L"(none)", Browser()) << "no such file";
    SetCommand(L"\"C:\\web\" %1");
    EXPECT_EQ(L"(none)", Browser()) << "a folder";
    SetCommand(L"C:\\web\\web.exe -nohome %1");
    EXPECT_EQ(L"C:\\web\\web.exe", Browser());
    SetCommand(L"C:\\web\\web.exe");
    EXPECT_EQ(L"C:\\web\\web.exe", Browser());
    SetCommand(L"C:\\web\\web.exe\t%1");
    EXPECT_EQ(L"C:\\web\\web.exe", Browser());
    RegDeleteValueW(key, NULL);
    EXPECT_EQ(L"(none)", Browser());
}

TEST_F(BrowserFallback, CommandIsUsedOnlyWholeAndAsAString)
{
    // Longer than the read: refused, never cut to a shorter program name.
    std::wstring longCommand = L"\"C:\\web\\web.exe\" " + std::wstring(2000, L'x');
    SetCommand(longCommand.c_str());
    EXPECT_EQ(L"(none)", Browser());
    // Stored without a NUL: ends where its bytes end; a binary value is no command.
    SetEnvironmentVariableW(L"TAVROWEN_WEB", L"C:\\web");
    const struct {
        DWORD type;
        std::wstring command;
        std::wstring exe;
    } commands[] = {
        {REG_SZ, L"C:\\web\\web.exe", L"C:\\web\\web.exe"},
        {REG_SZ, L"C:\\w", L"(none)"},
        {REG_BINARY, L"C:\\web\\web.exe %1", L"(none)"},
        {REG_EXPAND_SZ, L"\"%TAVROWEN_WEB%\\web.exe\" %1", L"C:\\web\\web.exe"},
    };
    for (const auto& c : commands) {
        RegSetValueExW(key, NULL, 0, c.type, (const BYTE*)c.command.c_str(),
                       (DWORD)(c.command.size() * sizeof(wchar_t)));
        EXPECT_EQ(c.exe, Browser()) << "type " << c.type << ", " << NarrowUtf8(c.command);
    }

    // Elevated, the handler's command is not run: only the shell opens the address.
    SetCommand(L"\"C:\\web\\web.exe\" %1");
    tokenElevated = 1;
    seams.desktopShellElevated = [] { return true; };
    shellResult = 32;
    LookupUrl url;
    StartLookupUrl(&url, L"a.exe");
    EXPECT_EQ(ADDRESS_NOT_OPENED, OpenLookupUrl(&url));
    EXPECT_EQ(1u, shellCalls.size());
    shellResult = 33;
}

std::vector<std::wstring> shellOpened;
bool RecordShellOpen(const wchar_t* address)
{
    shellOpened.push_back(address);
    return false;
}
std::vector<std::wstring> dispatchOpened;

// Elevated under an unelevated shell: the shell opens the address, or it waits
// on the clipboard; nothing is started with our rights.
TEST_F(BrowserFallback, ElevatedOpensOnlyThroughTheShell)
{
    SetCommand(L"\"C:\\web\\web.exe\" %1");
    tokenElevated = 1;
    seams.desktopShellElevated = [] { return false; };
    // Wine's desktop answers IShellWindows as Explorer does: the shell starts the recorder.
    ClearRecordedAddresses();
    seams.shellDispatchOpen = [](IShellDispatch2* shell, const wchar_t* address) {
        dispatchOpened.push_back(address);
        return OpenWithShellDispatch(shell, address);
    };
    LookupUrl url;
    StartLookupUrl(&url, L"a.exe");
    EXPECT_EQ(ADDRESS_OPENED, OpenLookupUrl(&url));
    EXPECT_TRUE(WaitForRecordedAddresses(1, 20000));
    EXPECT_EQ(std::vector<std::wstring>{base + L"a.exe?qaver=2.0"}, ReadRecordedAddresses());
    EXPECT_EQ(std::vector<std::wstring>{base + L"a.exe?qaver=2.0"}, dispatchOpened) << "not the shell's own call";
    // No shell to ask: the clipboard.
    seams.openAsDesktopShell = RecordShellOpen;
    StartLookupUrl(&url, L"b.exe");
    EXPECT_EQ(ADDRESS_ON_CLIPBOARD, OpenLookupUrl(&url));
    ASSERT_EQ(1u, shellOpened.size());
    EXPECT_EQ(base + L"b.exe?qaver=2.0", ClipboardText());
    EXPECT_EQ(0u, shellCalls.size()) << "started with our own rights";
}

// Everything but RFC 3986's unreserved characters is escaped from UTF-8, so a
// value's "+", "=", "&" or ";" is never read as a blank or a separator.
TEST(LookupAddress, PlusInAValueIsSentAsPercent2B)
{
    LookupUrl url;
    StartLookupUrl(&url, L"notepad++.exe");
    EXPECT_TRUE(AppendQueryParameter(&url, L"lpath", L"%programfiles%\\Notepad++"));
    EXPECT_TRUE(AppendQueryParameter(&url, L"a+b", L"+"));
    EXPECT_TRUE(AppendQueryParameter(&url, L"fd", L"C++ 1+1=2;a&b (x)~_-."));
    AppendVersionTag(&url);
    EXPECT_EQ(base + L"notepad%2B%2B.exe?lpath=%25programfiles%25%5CNotepad%2B%2B&a%2Bb=%2B"
                     L"&fd=C%2B%2B%201%2B1%3D2%3Ba%26b%20%28x%29~_-.&qaver=2.0",
              std::wstring(url.text));
    StartLookupUrl(&url, L"caf\u00e9.exe");
    EXPECT_TRUE(AppendQueryParameter(&url, L"lpath", L"%programfiles%\\Caf\u00e9 \u0416\U0001F600\xD800"));
    AppendVersionTag(&url);
    EXPECT_EQ(base + L"caf%C3%A9.exe?lpath=%25programfiles%25%5CCaf%C3%A9%20%D0%96%F0%9F%98%80%EF%BF%BD&qaver=2.0",
              std::wstring(url.text));

    // Growing by its escapes, a value that no longer fits is left out whole.
    StartLookupUrl(&url, L"a.exe");
    size_t room = LOOKUP_URL_CAPACITY - 1 - base.size() - 5 - 10 - 3;  // "a.exe", "&qaver=2.0", "?v="
    EXPECT_TRUE(AppendQueryParameter(&url, L"v", std::wstring(room, L'x').c_str())) << "the limit itself";
    StartLookupUrl(&url, L"a.exe");
    std::wstring pluses = std::wstring(room - 2, L'x') + L"+";
    EXPECT_FALSE(AppendQueryParameter(&url, L"v", pluses.c_str())) << "one character over once escaped";
    AppendVersionTag(&url);
    EXPECT_EQ(base + L"a.exe?qaver=2.0", std::wstring(url.text));
}
