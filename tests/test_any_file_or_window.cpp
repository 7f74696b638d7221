// Any file or window looked up: "/lookup" alone and handed to a running copy, files dropped on the
// Running Processes window, and its finder dragged onto a window or chosen from the keyboard.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include "core/system_folders.h"
#include "app/file_lookup.h"
#include "app/process_window.h"
#include "core/seams.h"
#include "core/lookup_url.h"
#include "lookup/system_md5.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

namespace {

class AnyFile : public testing::Test {
protected:
    void SetUp() override
    {
        ClearRecordedAddresses();
        CreateDirectoryW(folder.c_str(), NULL);
        ASSERT_TRUE(CopyFileW(OwnModulePath().c_str(), odd.c_str(), FALSE));
    }
    void TearDown() override
    {
        if (program.hProcess)
            ShutDownTavrowen(&program);
        DeleteFileW(odd.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    // Runs "/lookup <path>" to its end, the browser's too; when asked, reads the program's message box and closes it.
    DWORD RunLookup(const std::wstring& path, std::wstring* box = NULL)
    {
        size_t before = ReadRecordedAddresses().size();
        PROCESS_INFORMATION run;
        StartProgram(BinPath(L"Tavrowen2.exe"), L"/lookup \"" + path + L"\"", &run);
        HWND shown = box ? WaitForTopWindow(L"#32770", L"Tavrowen 2", 20000) : NULL;
        wchar_t text[1024] = L"";
        if (shown && WaitUntil([&] { return GetDlgItemTextW(shown, 0xFFFF, text, ARRAYSIZE(text)) > 0; }, 10000))
            PostMessageW(shown, WM_COMMAND, IDOK, 0);
        if (box)
            *box = text;
        DWORD code = WaitForExit(run, 30000);
        EndProgram(&run);
        if (!box)
            WaitForRecordedAddresses(before + 1, 30000);
        return code;
    }
    // The address, unescaped as a person reads it, names the file, its folder, digest and size.
    void ExpectAddressOf(const std::wstring& path, const std::wstring& lpath, std::wstring address)
    {
        // The file the path names: a 32-bit test reads System32 through Sysnative, as the program does.
        wchar_t readable[MAX_PATH];
        ASSERT_TRUE(BuildReadablePath(path.c_str(), readable));
        std::vector<unsigned char> bytes = ReadWholeFile(readable);
        address = UnescapeUtf8(address);
        EXPECT_EQ(NarrowUtf8(lookupBaseAddress + path.substr(path.find_last_of(L'\\') + 1) + L"?lpath=" + lpath +
                             L"&md5=" + WidenUtf8(SystemMd5(bytes)) + L"&size=" + std::to_wstring(bytes.size()) +
                             L"&qaver=2.0"),
                  NarrowUtf8(address.c_str()));
    }
    // Any file: this program renamed, in a folder with blanks and letters beyond ASCII; a system library.
    std::wstring folder = ProgramFilesFolder() + L"\\Tavrowen Lookup \u00C4";
    std::wstring odd = folder + L"\\Pr\u00FCf ding.exe", dll = L"C:\\windows\\system32\\version.dll";
    const wchar_t* oddFolder = L"%programfiles%\\Tavrowen Lookup \u00C4";
    PROCESS_INFORMATION program = {};
};

TEST_F(AnyFile, LookupSwitchAloneOpensTheAddressOrSaysWhyItCannot)
{
    EXPECT_EQ(0u, RunLookup(odd));
    EXPECT_EQ(0u, RunLookup(dll));
    ASSERT_TRUE(WaitForRecordedAddresses(2, 30000));
    ExpectAddressOf(odd, oddFolder, ReadRecordedAddresses()[0]);
    ExpectAddressOf(dll, L"%system%", ReadRecordedAddresses()[1]);

    std::wstring box, missing = folder + L"\\missing.exe", start = L"Tavrowen 2 cannot read " + missing + L": ";
    EXPECT_EQ(1u, RunLookup(missing, &box));
    EXPECT_TRUE(box.size() > start.size() && box.find(start) == 0) << NarrowUtf8(box);
}

TEST_F(AnyFile, RunningCopyTakesThePathAndNothingThatIsNoPath)
{
    ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program));
    // The second copy ends at once, whatever the file: the running one looks it up, or says it cannot.
    EXPECT_EQ(0u, RunLookup(odd));
    std::wstring box, missing = folder + L"\\missing.dll";
    EXPECT_EQ(0u, RunLookup(missing, &box));
    EXPECT_EQ(0u, box.find(L"Tavrowen 2 cannot read " + missing + L": ")) << NarrowUtf8(box);

    // Handed over by hand: refused without a terminator inside or longer than any path; a path is taken.
    auto handOver = [](const std::wstring& text, size_t characters) {
        COPYDATASTRUCT data = {LOOKUP_PATH_DATA, (DWORD)(characters * sizeof(wchar_t)), (void*)text.c_str()};
        return SendMessageW(FindMainWindow(), WM_COPYDATA, 0, (LPARAM)&data);
    };
    EXPECT_EQ(FALSE, handOver(dll, dll.size())) << "no terminator";
    EXPECT_EQ(FALSE, handOver(L"C:\\" + std::wstring(32766, L'a'), 32770)) << "too long";
    EXPECT_EQ(TRUE, handOver(dll, dll.size() + 1));
    ASSERT_TRUE(WaitForRecordedAddresses(2, 30000));
    ExpectAddressOf(odd, oddFolder, ReadRecordedAddresses()[0]);
    ExpectAddressOf(dll, L"%system%", ReadRecordedAddresses()[1]);
}


// A path of MAX_PATH or more is read through its long form and sent with its
// digest; one whose folder cannot be sent whole gets the message instead.
TEST_F(AnyFile, LongPathsAreReadWholeOrRefusedNeverSentAsANameAlone)
{
    std::wstring deep = L"\\\\?\\" + folder, relative;
    for (int level = 0; level < 8; ++level) {
        relative += L"\\" + std::wstring(60, (wchar_t)(L'a' + level));
        CreateDirectoryW((deep + relative).c_str(), NULL);
    }
    std::wstring file = folder + relative + L"\\long.exe";
    ASSERT_GE(file.size(), (size_t)MAX_PATH);
    ASSERT_TRUE(CopyFileW(OwnModulePath().c_str(), (L"\\\\?\\" + file).c_str(), FALSE));
    EXPECT_EQ(0u, RunLookup(file));
    ASSERT_TRUE(WaitForRecordedAddresses(1, 30000));
    std::wstring address = UnescapeUtf8(ReadRecordedAddresses()[0]);
    std::vector<unsigned char> bytes = ReadWholeFile(OwnModulePath());
    EXPECT_NE(std::wstring::npos, address.find(L"long.exe?lpath=" + std::wstring(oddFolder) + relative + L"&md5=" +
                                               WidenUtf8(SystemMd5(bytes))))
        << NarrowUtf8(address);

    // Twenty levels: a folder longer than any address takes.
    std::wstring deeper = relative;
    for (int level = 8; level < 20; ++level) {
        deeper += L"\\" + std::wstring(60, (wchar_t)(L'a' + level));
        CreateDirectoryW((deep + deeper).c_str(), NULL);
    }
    std::wstring farthest = folder + deeper + L"\\far.exe", box;
    ASSERT_TRUE(CopyFileW(OwnModulePath().c_str(), (L"\\\\?\\" + farthest).c_str(), FALSE));
    EXPECT_EQ(1u, RunLookup(farthest, &box));
    // The box's text is read whole up to a thousand characters.
    EXPECT_EQ(0u, box.find(L"Tavrowen 2 cannot read " + farthest.substr(0, 900))) << NarrowUtf8(box);
    EXPECT_EQ(1u, ReadRecordedAddresses().size()) << "a name alone was sent";
    DeleteFileW((L"\\\\?\\" + farthest).c_str());
    DeleteFileW((L"\\\\?\\" + file).c_str());
    for (std::wstring path = deeper; !path.empty(); path = path.substr(0, path.find_last_of(L'\\')))
        RemoveDirectoryW((deep + path).c_str());
}

bool squatterTookAPath = false;
LRESULT CALLBACK SquatterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA)
        return DefWindowProcW(window, message, wParam, lParam);
    squatterTookAPath = true;
    return TRUE;
}

// Another program's window of our class is handed nothing: the lookup runs
// itself. A pipe's name is refused unopened, as any device is.
TEST_F(AnyFile, PathsGoOnlyToOurOwnProgramAndNeverOpenADevice)
{
    WNDCLASSW squatter = {};
    squatter.lpfnWndProc = SquatterProc;
    squatter.hInstance = GetModuleHandleW(NULL);
    squatter.lpszClassName = L"Tavrowen2";
    ASSERT_TRUE(RegisterClassW(&squatter));
    HWND window = CreateWindowExW(0, L"Tavrowen2", L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(window != NULL);
    EXPECT_EQ(0u, RunLookup(odd));
    EXPECT_FALSE(squatterTookAPath) << "the path went to another program's window";
    ASSERT_TRUE(WaitForRecordedAddresses(1, 30000)) << "the lookup was not run by itself";
    ExpectAddressOf(odd, oddFolder, ReadRecordedAddresses()[0]);
    DestroyWindow(window);
    UnregisterClassW(L"Tavrowen2", GetModuleHandleW(NULL));

    const wchar_t* pipeName = L"\\\\.\\pipe\\tavrowen-handed";
    ListeningPipe pipe(pipeName);
    ASSERT_TRUE(pipe.Listening());
    for (std::wstring device : {std::wstring(pipeName), std::wstring(L"\\\\?\\GLOBALROOT\\Device\\Null")}) {
        std::wstring box;
        EXPECT_EQ(1u, RunLookup(device, &box)) << NarrowUtf8(device);
        EXPECT_EQ(0u, box.find(L"Tavrowen 2 cannot read " + device + L": ")) << NarrowUtf8(box);
    }
    EXPECT_FALSE(pipe.WasConnected()) << "the program connected to the pipe";
}

std::vector<std::wstring> opened;
HINSTANCE WINAPI RecordOpening(HWND, LPCWSTR, LPCWSTR address, LPCWSTR, LPCWSTR, INT)
{
    opened.push_back(address);
    return (HINSTANCE)33;
}

TEST_F(AnyFile, FilesDroppedOnRunningProcessesAreLookedUpInOrder)
{
    // In this process, noting each address as it is opened: under Wine a drop's memory reaches no other process.
    seams.shellExecute = RecordOpening;
    ShowProcessWindow();
    // A drop as Explorer makes one: the record, each path ended, an empty one.
    std::wstring paths = odd + L'\0' + dll + L'\0' + L'\0';
    DROPFILES* drop = (DROPFILES*)GlobalAlloc(GPTR, sizeof(DROPFILES) + paths.size() * sizeof(wchar_t));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    CopyMemory(drop + 1, paths.data(), paths.size() * sizeof(wchar_t));
    SendMessageW(ProcessWindowHandle(), WM_DROPFILES, (WPARAM)drop, 0);
    CloseProcessWindow();
    seams.shellExecute = ShellExecuteW;
    ASSERT_EQ(2u, opened.size());
    ExpectAddressOf(odd, oddFolder, opened[0]);
    ExpectAddressOf(dll, L"%system%", opened[1]);
}

// Presses on the finder's target, moves onto the window, presses Esc there if asked, lets go.
void DragTarget(HWND target, HWND onto, bool escape)
{
    auto dragging = [target] {
        GUITHREADINFO info = {sizeof(info)};
        return GetGUIThreadInfo(GetWindowThreadProcessId(target, NULL), &info) && info.hwndCapture == target;
    };
    auto centre = [](HWND window) {
        RECT rect;
        return GetWindowRect(window, &rect), POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    };
    POINT from = centre(target), to = centre(onto);
    shell::MoveMouseTo(from);
    shell::SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(WaitUntil(dragging, 5000)) << "no drag";
    shell::MoveMouseTo(to);
    if (escape) {
        keybd_event(VK_ESCAPE, 0, 0, 0);
        keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    }
    shell::SendMouseButton(MOUSEEVENTF_LEFTUP);
    WaitUntil([&] { return !dragging(); }, 5000);
}

TEST_F(AnyFile, FinderShowsTheRowOfAWindowDraggedOntoOrInFrontBefore)
{
    ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program));
    ASSERT_TRUE(WaitUntil([] { return shell::TrayIconExists(FindMainWindow()); }, 15000));
    // This process's window, in front until the program's comes.
    HWND standIn = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE | SS_NOTIFY, 40, 780, 200, 150, 0, 0, 0, 0);
    SetForegroundWindow(standIn);
    PostMessageW(FindMainWindow(), WM_COMMAND, IDM_PROCESSES, 0);
    std::vector<HWND> found;
    auto find = [&](const wchar_t* kind) { return (found = shell::ProcessWindows(program.dwProcessId, kind)).size(); };
    ASSERT_TRUE(WaitUntil([&] { return find(L"TavrowenProcesses"); }, 10000));
    HWND window = found.front(), target = GetDlgItem(window, IDC_PROCESS_FINDER);
    HWND filter = GetDlgItem(window, IDC_PROCESS_FILTER), list = GetDlgItem(window, IDC_PROCESS_LIST);
    wchar_t text[64];
    auto filterText = [&] { return SendMessageW(filter, WM_GETTEXT, 64, (LPARAM)text), std::wstring(text); };
    // Whether Enter in the list looks this test program up: its row is the one selected.
    std::wstring own = OwnModulePath(), ownAddress = lookupBaseAddress + own.substr(own.find_last_of(L'\\') + 1);
    auto ownRowSelected = [&] {
        size_t before = ReadRecordedAddresses().size();
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
        return WaitForRecordedAddresses(before + 1, 30000) && ReadRecordedAddresses()[before].find(ownAddress) == 0;
    };
    // From the keyboard: the first row (another process's), then the menu's item.
    PostMessageW(list, WM_KEYDOWN, VK_HOME, 0);
    PostMessageW(window, WM_CONTEXTMENU, (WPARAM)list, -1);
    ASSERT_TRUE(WaitUntil([&] { return find(L"#32768"); }, 10000));
    PostMessageW(found.front(), WM_CHAR, L'f', 0);
    WaitUntil([&] { return !find(L"#32768"); }, 10000);
    EXPECT_TRUE(ownRowSelected()) << "after the menu's item";

    // Esc during the drag, or a drop on our own window: nothing changes.
    SendMessageW(filter, WM_SETTEXT, 0, (LPARAM)L"zzz");
    DragTarget(target, standIn, true);
    DragTarget(target, list, false);
    EXPECT_EQ(L"zzz", filterText());
    // Dropped on the stand-in: the filter cleared, its row selected, the keyboard in the list.
    DragTarget(target, standIn, false);
    EXPECT_EQ(L"", filterText());
    EXPECT_TRUE(ownRowSelected()) << "after the drag";
}

}  // namespace
