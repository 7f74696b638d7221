// The tray icon, its menu and the menu commands.
#include <gtest/gtest.h>
#include "core/system_folders.h"
#include "taskmgr/attachment.h"
#include "app/app_state.h"
#include "app/main_window.h"
#include "app/tray_menu.h"
#include "app/language_menu.h"
#include "core/program_language.h"
#include "core/program_text.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

// ---- The real program, driven through Wine's tray -----------------------------

class RunningTavrowen : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        DeleteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program)) << "no main window";
        mainWindow = FindMainWindow();
        ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(mainWindow); }, 10000)) << "no tray icon";
    }
    void TearDown() override
    {
        if (program.hProcess)
            ShutDownTavrowen(&program);
        WaitUntil([] { return FindMainWindow() == NULL; }, 5000);
    }
    // The program's open context menu, if any.
    HWND OpenMenu() const
    {
        std::vector<HWND> menus = ProcessWindows(program.dwProcessId, L"#32768");
        return menus.empty() ? NULL : menus.front();
    }
    PROCESS_INFORMATION program = {};
    HWND mainWindow = NULL;
};

TEST_F(RunningTavrowen, TrayIconShowsItsTipWhileRunningAndGoesAtShutdown)
{
    EXPECT_EQ(L"Tavrowen2", ReadTrayTooltip()) << "tooltip over the first tray slot";
    EXPECT_EQ(1u, ShutDownTavrowen(&program)) << "exit code after /shutdown";
    EXPECT_FALSE(TrayIconExists(mainWindow)) << "the icon outlived the program";
}

TEST_F(RunningTavrowen, LeftClickDoesNothingRightClickOpensMenuExitEndsTheProgram)
{
    ASSERT_TRUE(ClickTrayIcon(Click::left));
    PumpMessagesFor(1000);
    EXPECT_TRUE(OpenMenu() == NULL) << "a single left click opened the menu";
    EXPECT_TRUE(ProcessWindows(program.dwProcessId, L"#32770").empty()) << "a single left click opened a dialog";

    ASSERT_TRUE(ClickTrayIcon(Click::right));
    HWND menu = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (menu = OpenMenu()) != NULL; }, 5000)) << "right click opened no menu";

    // "E&xit Tavrowen 2" by its access key.
    PostMessageW(menu, WM_CHAR, L'x', 0);
    EXPECT_EQ(1u, WaitForExit(program, 15000)) << "exit code after Exit";
    EndProgram(&program);
    EXPECT_FALSE(TrayIconExists(mainWindow)) << "the icon outlived Exit";
}

// Explorer restarted: the new tray starts empty and the shell announces the
// new taskbar to every top-level window; the icon comes back. The announcement
// goes to the program's one top-level window only: a real broadcast also
// reaches Wine's own windows and upsets later foreground checks.
TEST_F(RunningTavrowen, TheIconComesBackWhenTheShellAnnouncesANewTaskbar)
{
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = mainWindow;
    data.uID = 0;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data)) << "the tray would not give the icon up";
    ASSERT_FALSE(TrayIconExists(mainWindow));

    UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_TRUE(PostMessageW(mainWindow, taskbarCreated, 0, 0));
    EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(mainWindow); }, 10000)) << "the icon did not come back";
    EXPECT_EQ(L"Tavrowen2", ReadTrayTooltip()) << "tooltip over the first tray slot";

    // Announced again while it is there, it stays one icon that the shutdown removes.
    ASSERT_TRUE(PostMessageW(mainWindow, taskbarCreated, 0, 0));
    PumpMessagesFor(500);
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
    EXPECT_FALSE(TrayIconExists(mainWindow)) << "the restored icon outlived the program";
}

TEST_F(RunningTavrowen, OnlyMenuCommandsWithAZeroHighWordAreHandled)
{
    // Exit's ID, but from a control notification: not a menu command.
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1), 0);
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(40005, 0), 0);
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(40010, 0), 0);
    EXPECT_EQ(STILL_ACTIVE, WaitForExit(program, 1500)) << "a non-menu or unknown command ended the program";
    EXPECT_TRUE(TrayIconExists(mainWindow));

    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(1u, WaitForExit(program, 15000)) << "the Exit command did not end the program";
    EndProgram(&program);
}

// ---- Showing or starting Task Manager ------------------------------------------

class TaskManagerCommand : public RunningTavrowen {
protected:
    void SetUp() override
    {
        EndTaskManagers();
        RunningTavrowen::SetUp();
    }
    void TearDown() override
    {
        RunningTavrowen::TearDown();
        EndTaskManagers();
    }
};

TEST_F(TaskManagerCommand, WithNoneRunningStartsTaskManagerAndTheStripAttaches)
{
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TASK_MANAGER, 0), 0);
    HWND taskManager = WaitForTopWindow(L"#32770", taskManagerTitle, 15000);
    ASSERT_TRUE(taskManager != NULL) << "Task Manager was not started";
    EXPECT_TRUE(WaitUntil([&] { return AttachedStrip(taskManager) != NULL; }, 15000))
        << "the strip did not attach to the started Task Manager";
}

// A Task Manager that cannot be started is said to the person, not passed over.
TEST_F(TaskManagerCommand, ATaskManagerThatCannotStartIsToldInABox)
{
    wchar_t program[MAX_PATH];
    ASSERT_TRUE(BuildNativeSystemPath(L"taskmgr.exe", program, ARRAYSIZE(program)));
    std::wstring kept = std::wstring(program) + L".kept";
    ASSERT_TRUE(MoveFileExW(program, kept.c_str(), MOVEFILE_REPLACE_EXISTING));
    HANDLE empty = CreateFileW(program, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(empty);
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TASK_MANAGER, 0), 0);
    HWND box = WaitForTopWindow(L"#32770", L"Tavrowen 2", 15000);
    wchar_t text[1024] = L"";
    if (box)
        WaitUntil([&] { return GetDlgItemTextW(box, 0xFFFF, text, ARRAYSIZE(text)) > 0; }, 5000);
    if (box)
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    DeleteFileW(program);
    MoveFileExW(kept.c_str(), program, MOVEFILE_REPLACE_EXISTING);
    ASSERT_TRUE(box != NULL) << "no box said that Task Manager could not start";
    EXPECT_NE(std::wstring::npos, std::wstring(text).find(program)) << NarrowUtf8(text);
}

TEST_F(TaskManagerCommand, AMinimisedTaskManagerIsRestoredAndBroughtToTheFront)
{
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TASK_MANAGER, 0), 0);
    HWND taskManager = WaitForTopWindow(L"#32770", taskManagerTitle, 15000);
    ASSERT_TRUE(taskManager != NULL);
    ASSERT_TRUE(WaitUntil([&] { return AttachedStrip(taskManager) != NULL; }, 15000));

    struct {
        const char* how;
        std::function<void()> ask;
    } ways[] = {
        {"menu command", [&] { PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TASK_MANAGER, 0), 0); }},
        {"double click", [] { EXPECT_TRUE(ClickTrayIcon(Click::doubleLeft)) << "no tray icon to click"; }},
    };
    for (auto& way : ways) {
        ShowWindow(taskManager, SW_MINIMIZE);
        ASSERT_TRUE(WaitUntil([&] { return IsIconic(taskManager) != FALSE; }, 5000));
        way.ask();
        EXPECT_TRUE(WaitUntil([&] { return !IsIconic(taskManager); }, 10000)) << way.how << ": not restored";
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == taskManager; }, 5000))
            << way.how << ": not in front";
        EXPECT_EQ(1u, ProcessWindows(WindowProcessId(taskManager), L"#32770", taskManagerTitle).size())
            << way.how << ": a second Task Manager";
    }

    // The About box belongs to Task Manager: restores it, centres on it, disables it while open.
    ShowWindow(taskManager, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(taskManager) != FALSE; }, 5000));
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    // Shown, that is past its initialisation.
    HWND about = NULL;
    WaitUntil(
        [&] {
            std::vector<HWND> boxes = ProcessWindows(program.dwProcessId, L"#32770", L"About Tavrowen 2");
            about = boxes.empty() ? NULL : boxes.front();
            return about != NULL;
        },
        10000);
    ASSERT_TRUE(about != NULL);
    EXPECT_FALSE(IsIconic(taskManager)) << "About left Task Manager minimised";
    EXPECT_FALSE(IsWindowEnabled(taskManager)) << "Task Manager stayed enabled under the About box";
    RECT outer, inner;
    GetWindowRect(taskManager, &outer);
    GetWindowRect(about, &inner);
    EXPECT_LE(abs((outer.left + outer.right) / 2 - (inner.left + inner.right) / 2), 1) << "not centred across";
    EXPECT_LE(abs((outer.top + outer.bottom) / 2 - (inner.top + inner.bottom) / 2), 1) << "not centred down";
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(taskManager) != FALSE; }, 5000))
        << "Task Manager stayed disabled after About closed";
}

// ---- The menu in this process ---------------------------------------------------

// Stands in for MainWindow: hands commands to the real window procedure.
LRESULT CALLBACK CommandWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND || message == WM_TRAY_CALLBACK)
        return MainWindowProc(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

struct MenuItem {
    UINT id;
    std::wstring text;
    bool checked;
    bool separator;
    bool popup;
};

std::vector<MenuItem> ReadMenu(HMENU menu)
{
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        MENUITEMINFOW info;
        ZeroMemory(&info, sizeof(info));
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text);
        GetMenuItemInfoW(menu, i, TRUE, &info);
        items.push_back({info.wID, text, (info.fState & MFS_CHECKED) != 0, (info.fType & MFT_SEPARATOR) != 0,
                         info.hSubMenu != NULL});
    }
    return items;
}

class TrayMenu : public testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass;
        ZeroMemory(&windowClass, sizeof(windowClass));
        windowClass.lpfnWndProc = CommandWindowProc;
        windowClass.hInstance = GetModuleHandleW(NULL);
        windowClass.lpszClassName = L"TrayMenuTestWindow";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"TrayMenuTestWindow", L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                 GetModuleHandleW(NULL), NULL);
        ASSERT_TRUE(window != NULL);
        appState.mainWindow = window;
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        DeleteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"probe", 0));
        DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, L"probe");
    }
    void TearDown() override
    {
        DestroyWindow(window);
        appState.mainWindow = NULL;
    }

    // Opens the menu as a right-click on the icon does; `look` sees it open,
    // `key` is then typed into it (0: Escape). Returns the items seen.
    std::vector<MenuItem> OpenMenuAndType(wchar_t key)
    {
        std::vector<MenuItem> seen;
        ModalScript script([&] {
            HWND menuWindow = FindWindowW(L"#32768", NULL);
            if (!menuWindow || !IsWindowVisible(menuWindow))
                return false;
            HMENU menu = (HMENU)SendMessageW(menuWindow, MN_GETHMENU, 0, 0);
            seen = ReadMenu(menu);
            if (key)
                PostMessageW(menuWindow, WM_CHAR, key, 0);
            else
                PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
            return true;
        });
        TrayCallback(WM_RBUTTONUP);
        EXPECT_TRUE(script.finished()) << "the menu did not open";
        PumpMessagesFor(100);  // the chosen command arrives as a posted WM_COMMAND
        return seen;
    }

    static bool CheckedById(const std::vector<MenuItem>& items, UINT id)
    {
        for (const MenuItem& item : items)
            if (item.id == id)
                return item.checked;
        ADD_FAILURE() << "no menu item " << id;
        return false;
    }

    HWND window = NULL;
};

TEST_F(TrayMenu, HasTheFourteenItemsAndWithNoValuesStoredOffersOnlyTheSplashScreen)
{
    std::vector<MenuItem> items = OpenMenuAndType(0);
    const struct {
        UINT id;
        const wchar_t* text;
    } expected[] = {
        {IDM_AUTOSTART, L"&Run Tavrowen 2 on Windows Startup"},
        {IDM_EXTENDED_INFO, L"Send Ex&tended Information"},
        {IDM_SPLASH, L"Show Sp&lash Screen"},
        {0, L"Lan&guage"},  // a submenu
        {0, NULL},
        {IDM_TASK_MANAGER, L"Show Tas&k Manager..."},
        {IDM_PROCESSES, L"Running &Processes..."},
        {IDM_STARTUP_ENTRIES, L"Startup &Entries..."},
        {IDM_SEARCH, L"&Search Kestrava..."},
        {0, NULL},
        {IDM_ABOUT, L"&About Tavrowen 2..."},
        // No hotkey registered in this process: no shortcut shown.
        {IDM_LOOK_UP_SELECTED, L"Look Up Selected Process"},
        {0, NULL},
        {IDM_EXIT, L"E&xit Tavrowen 2"},
    };
    ASSERT_EQ(ARRAYSIZE(expected), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!expected[i].text) {
            EXPECT_TRUE(items[i].separator) << "position " << i + 1;
            continue;
        }
        EXPECT_EQ(expected[i].id == 0, items[i].popup) << "position " << i + 1;
        if (!items[i].popup) {
            EXPECT_EQ(expected[i].id, items[i].id) << "position " << i + 1;
        }
        EXPECT_EQ(expected[i].text, items[i].text) << "position " << i + 1;
    }
    EXPECT_FALSE(CheckedById(items, IDM_AUTOSTART));
    EXPECT_FALSE(CheckedById(items, IDM_EXTENDED_INFO));
    EXPECT_TRUE(CheckedById(items, IDM_SPLASH));
    EXPECT_FALSE(ReadSwitchValue(L"NoSplashScreen").present) << "Escape chose a command";
}

// The Language submenu as the tray menu fills it: its checked item and the
// text of its first, in the language in use.
static std::wstring LanguageMenuState(UINT* checked)
{
    HMENU menu = LoadProgramMenu(IDR_TASKMENU);
    HMENU popup = menu ? GetSubMenu(menu, 0) : NULL;
    if (!popup)
        return L"(no menu)";
    FillLanguageMenu(popup);
    HMENU languages = GetSubMenu(popup, 3);
    wchar_t text[64] = L"";
    *checked = 0;
    for (int i = 0; languages && i < GetMenuItemCount(languages); ++i) {
        if (GetMenuState(languages, i, MF_BYPOSITION) & MF_CHECKED)
            *checked = GetMenuItemID(languages, i);
    }
    GetMenuStringW(languages, IDM_LANGUAGE_FIRST + 2, text, ARRAYSIZE(text), MF_BYCOMMAND);
    std::wstring third = text;
    GetMenuStringW(languages, 0, text, ARRAYSIZE(text), MF_BYPOSITION);
    int count = GetMenuItemCount(languages);
    DestroyMenu(menu);
    return std::wstring(text) + L" | " + third + L" | " + std::to_wstring(count);
}

TEST_F(TrayMenu, LanguageChoiceIsStoredCheckedAndSpokenByWhatOpensNext)
{
    wchar_t english[128] = L"", chosen[128] = L"";
    ASSERT_TRUE(LoadProgramText(IDS_PROCESSES_TITLE, english, ARRAYSIZE(english)));
    UINT checked = 0;
    EXPECT_EQ(L"&Follow Windows | Fran\x00E7" L"ais | 15", LanguageMenuState(&checked));
    EXPECT_EQ((UINT)IDM_LANGUAGE_FOLLOW_WINDOWS, checked);

    EXPECT_TRUE(DispatchCommand(IDM_LANGUAGE_FIRST + 2));
    RegistryValue value = ReadSwitchValue(L"Language");
    EXPECT_EQ(std::string("REG_SZ \"fr-FR") + std::string(1, '\0') + "\" (12 bytes)", Describe(value));
    EXPECT_EQ(L"Comme &Windows | Fran\x00E7" L"ais | 15", LanguageMenuState(&checked));
    EXPECT_EQ((UINT)IDM_LANGUAGE_FIRST + 2, checked);
    ASSERT_TRUE(LoadProgramText(IDS_PROCESSES_TITLE, chosen, ARRAYSIZE(chosen)));
    EXPECT_STRNE(english, chosen);

    EXPECT_TRUE(DispatchCommand(IDM_LANGUAGE_FOLLOW_WINDOWS));
    EXPECT_FALSE(ReadSwitchValue(L"Language").present);
    ASSERT_TRUE(LoadProgramText(IDS_PROCESSES_TITLE, chosen, ARRAYSIZE(chosen)));
    EXPECT_STREQ(english, chosen);
}

TEST_F(TrayMenu, EachSwitchItemFlipsItsStoredStateAndTheNextOpeningShowsIt)
{
    OpenMenuAndType(L'l');  // Show Sp&lash Screen
    EXPECT_TRUE(IsDword(ReadSwitchValue(L"NoSplashScreen"), 1)) << Describe(ReadSwitchValue(L"NoSplashScreen"));
    OpenMenuAndType(L't');  // Send Ex&tended Information
    EXPECT_TRUE(IsDword(ReadSwitchValue(L"SendExtendedInfo"), 1)) << Describe(ReadSwitchValue(L"SendExtendedInfo"));
    OpenMenuAndType(L'r');  // &Run Tavrowen 2 on Windows Startup
    EXPECT_TRUE(ReadRegistryValue(HKEY_CURRENT_USER, runPath, autostartName).present);

    std::vector<MenuItem> items = OpenMenuAndType(L'l');
    EXPECT_TRUE(CheckedById(items, IDM_AUTOSTART));
    EXPECT_TRUE(CheckedById(items, IDM_EXTENDED_INFO));
    EXPECT_FALSE(CheckedById(items, IDM_SPLASH));
    EXPECT_TRUE(IsDword(ReadSwitchValue(L"NoSplashScreen"), 0)) << Describe(ReadSwitchValue(L"NoSplashScreen"));

    // Changed behind the program's back: the menu reads the registry, not a memory.
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"SendExtendedInfo", 0));
    DeleteRegistryValue(HKEY_CURRENT_USER, runPath, autostartName);
    items = OpenMenuAndType(0);
    EXPECT_FALSE(CheckedById(items, IDM_AUTOSTART));
    EXPECT_FALSE(CheckedById(items, IDM_EXTENDED_INFO));
    EXPECT_TRUE(CheckedById(items, IDM_SPLASH));
}

TEST_F(TrayMenu, AClickOutsideClosesTheMenuWithoutACommand)
{
    bool opened = false;
    ModalScript script([&] {
        HWND menuWindow = FindWindowW(L"#32768", NULL);
        if (!menuWindow || !IsWindowVisible(menuWindow))
            return false;
        opened = true;
        RECT menuRect;
        GetWindowRect(menuWindow, &menuRect);
        POINT outside = {menuRect.right + 200, menuRect.bottom + 200};
        MoveMouseTo(outside);
        SendMouseButton(MOUSEEVENTF_LEFTDOWN);
        SendMouseButton(MOUSEEVENTF_LEFTUP);
        return true;
    });
    POINT start = {300, 300};
    MoveMouseTo(start);
    DWORD before = GetTickCount();
    TrayCallback(WM_RBUTTONUP);
    EXPECT_TRUE(opened);
    EXPECT_LT(GetTickCount() - before, 5000u) << "the menu stayed open after the outside click";
    PumpMessagesFor(200);
    EXPECT_FALSE(ReadSwitchValue(L"NoSplashScreen").present);
    EXPECT_FALSE(ReadSwitchValue(L"SendExtendedInfo").present);
    EXPECT_FALSE(ReadRegistryValue(HKEY_CURRENT_USER, runPath, autostartName).present);
}

TEST_F(TrayMenu, OtherMouseMessagesAndUnknownCommandsDoNothing)
{
    const UINT ignored[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE, WM_RBUTTONDBLCLK,
                            WM_MBUTTONUP};
    for (UINT mouseMessage : ignored) {
        DWORD before = GetTickCount();
        ModalScript script([] {
            HWND menuWindow = FindWindowW(L"#32768", NULL);
            return menuWindow && IsWindowVisible(menuWindow);
        });
        TrayCallback(mouseMessage);
        PumpMessagesFor(100);
        EXPECT_FALSE(script.finished()) << "mouse message " << std::hex << mouseMessage << " opened a menu";
        EXPECT_LT(GetTickCount() - before, 1000u);
    }
    const WORD unknown[] = {0, 1, 2, 40000, 40005, 40010, 103, 1002};
    for (WORD id : unknown)
        EXPECT_FALSE(DispatchCommand(MAKEWPARAM(id, 0))) << "command " << id;

    MSG pending;
    EXPECT_TRUE(DispatchCommand(MAKEWPARAM(IDM_EXIT, 0)));
    EXPECT_TRUE(PeekMessageW(&pending, window, WM_SHUTDOWN_REQUEST, WM_SHUTDOWN_REQUEST, PM_REMOVE))
        << "Exit posted no shutdown request";
    EXPECT_TRUE(DispatchCommand(MAKEWPARAM(IDM_SPLASH, 0)));
    EXPECT_TRUE(IsDword(ReadSwitchValue(L"NoSplashScreen"), 1));
    EXPECT_TRUE(DispatchCommand(MAKEWPARAM(IDM_EXTENDED_INFO, 0)));
    EXPECT_TRUE(IsDword(ReadSwitchValue(L"SendExtendedInfo"), 1));
    EXPECT_TRUE(DispatchCommand(MAKEWPARAM(IDM_AUTOSTART, 0)));
    EXPECT_TRUE(ReadRegistryValue(HKEY_CURRENT_USER, runPath, autostartName).present);
}

// ---- The program's own shutdown removes the icon ------------------------------

WNDPROC mainWindowProcedure;
int iconAtLastMessage = -1;

// Looks at the tray as the main window takes its last message, while it still exists.
LRESULT CALLBACK WatchLastMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCDESTROY)
        iconAtLastMessage = TrayIconExists(window) ? 1 : 0;
    return CallWindowProcW(mainWindowProcedure, window, message, wParam, lParam);
}

// Runs the whole program in this process, so that the process outlives the run:
// the icon must be gone because the shutdown removed it, not because its
// owner died. The shutdown destroys the window as its last step.
TEST(OwnShutdown, RemovesTheTrayIconBeforeTheProcessEnds)
{
    HWND mainWindow = NULL;
    bool iconSeen = false;
    ModalScript script([&] {
        mainWindow = appState.mainWindow;
        if (!mainWindow || !TrayIconExists(mainWindow))
            return false;
        iconSeen = true;
        mainWindowProcedure =
            (WNDPROC)SetWindowLongPtrW(mainWindow, GWLP_WNDPROC, (LONG_PTR)WatchLastMessage);
        PostMessageW(mainWindow, WM_SHUTDOWN_REQUEST, 0, 0);
        return true;
    });
    int exitCode = RunTavrowen(GetModuleHandleW(NULL), L"/autostart", 0);
    EXPECT_EQ(1, exitCode);
    EXPECT_TRUE(iconSeen) << "the icon never showed";
    EXPECT_FALSE(IsWindow(mainWindow)) << "the shutdown left the main window";
    EXPECT_EQ(0, iconAtLastMessage) << "the icon outlived the shutdown steps (-1: the window was never destroyed)";
}

}  // namespace
