// The real program speaks the chosen language, else the user's own: the
// Running Processes window's title and columns and the Search dialog come from
// that language's resources in Tavrowen2.exe. CTest runs this under the German
// locale where the machine has it (tests/language_helpers.cmake).
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <string>
#include <vector>
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const LANGID french = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
const LANGID german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

class ProgramResources {
public:
    ProgramResources() : module(LoadLibraryExW(BinPath(L"Tavrowen2.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ProgramResources() { FreeLibrary(module); }
    std::wstring Text(LANGID language, UINT id) const
    {
        const WORD* walk = Lock(RT_STRING, (id >> 4) + 1, language);
        for (UINT i = 0; walk && i < (id & 15); ++i)
            walk += 1 + *walk;
        return walk ? std::wstring((const wchar_t*)walk + 1, *walk) : L"";
    }
    std::wstring DialogCaption(LANGID language, UINT id) const
    {
        const WORD* walk = Lock(RT_DIALOG, id, language);
        if (!walk)
            return L"";
        walk += 13;  // DIALOGEX header up to its menu
        for (int field = 0; field < 2; ++field)
            walk = *walk == 0xFFFF ? walk + 2 : walk + wcslen((const wchar_t*)walk) + 1;
        return (const wchar_t*)walk;
    }

private:
    const WORD* Lock(LPCWSTR type, UINT name, LANGID language) const
    {
        HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(name), language);
        HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
        return loaded ? (const WORD*)LockResource(loaded) : NULL;
    }
    HMODULE module;
};

// A header item's text in another process, through memory of its own there.
std::wstring RemoteHeaderText(HWND header, int column)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(header, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return L"(process not opened)";
    const SIZE_T textChars = 128;
    BYTE* remote = (BYTE*)VirtualAllocEx(process, NULL, sizeof(HDITEMW) + textChars * sizeof(wchar_t),
                                         MEM_COMMIT, PAGE_READWRITE);
    std::wstring text = L"(no text)";
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = (LPWSTR)(remote + sizeof(HDITEMW));
    item.cchTextMax = (int)textChars;
    wchar_t local[textChars] = L"";
    if (remote && WriteProcessMemory(process, remote, &item, sizeof(item), NULL) &&
        SendMessageW(header, HDM_GETITEMW, column, (LPARAM)remote) &&
        ReadProcessMemory(process, remote + sizeof(HDITEMW), local, sizeof(local) - sizeof(wchar_t), NULL))
        text = local;
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return text;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

class ProgramLanguage : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
    }
    void TearDown() override
    {
        if (program.hProcess)
            ShutDownTavrowen(&program);
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    // The processes window's title and first column, the Search dialog's caption.
    void ExpectWindowsIn(LANGID language, const char* why)
    {
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program)) << "no main window";
        PostMessageW(FindMainWindow(), WM_COMMAND, MAKEWPARAM(IDM_PROCESSES, 0), 0);
        std::vector<HWND> windows;
        ASSERT_TRUE(WaitUntil([&] { return !(windows = ProcessWindows(program.dwProcessId, L"TavrowenProcesses")).empty(); },
                              15000));
        HWND header = (HWND)SendMessageW(GetDlgItem(windows[0], IDC_PROCESS_LIST), LVM_GETHEADER, 0, 0);
        EXPECT_EQ(resources.Text(language, IDS_PROCESSES_TITLE), WindowText(windows[0])) << why;
        EXPECT_EQ(resources.Text(language, IDS_COLUMN_PROCESS), RemoteHeaderText(header, 0)) << why;
        EXPECT_EQ(resources.Text(language, IDS_COLUMN_SIGNER), RemoteHeaderText(header, 4)) << why;
        EXPECT_NE(resources.Text(language, IDS_PROCESSES_TITLE), resources.Text(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), IDS_PROCESSES_TITLE));

        PostMessageW(FindMainWindow(), WM_COMMAND, MAKEWPARAM(IDM_SEARCH, 0), 0);
        std::vector<HWND> boxes;
        EXPECT_TRUE(WaitUntil([&] { return !(boxes = ProcessWindows(program.dwProcessId, L"#32770")).empty(); }, 10000));
        if (!boxes.empty()) {
            EXPECT_EQ(resources.DialogCaption(language, IDD_SEARCH), WindowText(boxes[0])) << why;
            PostMessageW(boxes[0], WM_COMMAND, IDCANCEL, 0);
        }
        ShutDownTavrowen(&program);
        program = {};
    }
    ProgramResources resources;
    PROCESS_INFORMATION program = {};
};

TEST_F(ProgramLanguage, TheSettingWinsAndWithoutItTheUsersLanguageSpeaks)
{
    ASSERT_TRUE(WriteStringValue(HKEY_CURRENT_USER, settingsPath, L"Language", L"fr-FR"));
    ExpectWindowsIn(french, "Language fr-FR");
    DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, L"Language");
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_GERMAN)
        GTEST_SKIP() << "no German locale on this machine: Wine speaks " << GetUserDefaultUILanguage();
    ExpectWindowsIn(german, "no setting, German locale");
}

}  // namespace
