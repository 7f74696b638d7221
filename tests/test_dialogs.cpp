// The About box, the search dialog and the splash screen.
#include <gtest/gtest.h>
#include "core/seams.h"
#include "taskmgr/attachment.h"
#include "core/system_probes.h"
#include "app/app_state.h"
#include "app/dialogs.h"
#include "app/elevation.h"
#include "core/lookup_url.h"
#include "resource.h"
#include "shell_support.h"
#include "test_support.h"

using namespace shell;

namespace {

const wchar_t aboutCaption[] = L"About Tavrowen 2";
const wchar_t searchCaption[] = L"Search Kestrava";

POINT Centre(const RECT& rect)
{
    POINT centre = {rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2};
    return centre;
}

std::string Show(const RECT& rect)
{
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" + std::to_string(rect.right) +
           "," + std::to_string(rect.bottom) + ")";
}

// Centring works in whole pixels: the centres may differ by one.
void ExpectCentredOn(const RECT& outer, HWND dialog, const char* what)
{
    RECT inner;
    ASSERT_TRUE(GetWindowRect(dialog, &inner));
    POINT a = Centre(outer), b = Centre(inner);
    EXPECT_LE(abs(a.x - b.x), 1) << what << ": dialog " << Show(inner) << " on " << Show(outer);
    EXPECT_LE(abs(a.y - b.y), 1) << what << ": dialog " << Show(inner) << " on " << Show(outer);
}

// ---- The real program: guards and the search, driven through its commands -----

class ProgramDialogs : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ClearRecordedAddresses();
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program));
        mainWindow = FindMainWindow();
        ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(mainWindow); }, 10000));
    }
    void TearDown() override
    {
        for (HWND dialog : ProcessWindows(program.dwProcessId, L"#32770"))
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        if (program.hProcess)
            ShutDownTavrowen(&program);
        WaitUntil([] { return FindMainWindow() == NULL; }, 5000);
    }
    size_t CountDialogs(const wchar_t* caption) const
    {
        return ProcessWindows(program.dwProcessId, L"#32770", caption).size();
    }
    HWND WaitForDialog(const wchar_t* caption) const
    {
        HWND found = NULL;
        WaitUntil(
            [&] {
                std::vector<HWND> dialogs = ProcessWindows(program.dwProcessId, L"#32770", caption);
                found = dialogs.empty() ? NULL : dialogs.front();
                return found != NULL;
            },
            10000);
        return found;
    }
    bool WaitForDialogGone(const wchar_t* caption) const
    {
        return WaitUntil([&] { return CountDialogs(caption) == 0; }, 10000);
    }
    // A command as the tray menu sends it.
    void Choose(WORD command) const
    {
        PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
    HWND OpenSearch(const std::wstring& text) const
    {
        Choose(IDM_SEARCH);
        HWND dialog = WaitForDialog(searchCaption);
        if (dialog)
            SetWindowTextW(GetDlgItem(dialog, IDC_SEARCH_TEXT), text.c_str());
        return dialog;
    }

    PROCESS_INFORMATION program = {};
    HWND mainWindow = NULL;
};

TEST_F(ProgramDialogs, EachDialogOpensOnceAndItsGuardOutlivesTheOthersClosing)
{
    Choose(IDM_ABOUT);
    Choose(IDM_ABOUT);
    HWND about = WaitForDialog(aboutCaption);
    ASSERT_TRUE(about != NULL) << "About did not open";
    PumpMessagesFor(500);
    EXPECT_EQ(1u, CountDialogs(aboutCaption)) << "About twice";

    Choose(IDM_SEARCH);
    HWND search = WaitForDialog(searchCaption);
    ASSERT_TRUE(search != NULL) << "the search dialog did not open beside the About box";
    Choose(IDM_SEARCH);
    PumpMessagesFor(500);
    EXPECT_EQ(1u, CountDialogs(searchCaption)) << "search twice";

    // Closing About leaves the search dialog's guard alone, and About opens again.
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForDialogGone(aboutCaption));
    Choose(IDM_SEARCH);
    Choose(IDM_ABOUT);
    about = WaitForDialog(aboutCaption);
    EXPECT_TRUE(about != NULL) << "About did not open a second time";
    EXPECT_EQ(1u, CountDialogs(searchCaption)) << "a second search dialog after About closed";

    // And the other way round; the close button closes About too.
    PostMessageW(search, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitForDialogGone(searchCaption));
    Choose(IDM_ABOUT);
    PumpMessagesFor(500);
    EXPECT_EQ(1u, CountDialogs(aboutCaption)) << "a second About box after search closed";
    PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitForDialogGone(aboutCaption)) << "the close button left About open";
    Choose(IDM_ABOUT);
    about = WaitForDialog(aboutCaption);
    ASSERT_TRUE(about != NULL) << "About did not open after its close button";
    PostMessageW(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitForDialogGone(aboutCaption)) << "Escape left About open";
    EXPECT_TRUE(ReadRecordedAddresses().empty());
}

TEST_F(ProgramDialogs, AboutWithoutTaskManagerIsCentredOnTheDesktop)
{
    Choose(IDM_ABOUT);
    HWND about = WaitForDialog(aboutCaption);
    ASSERT_TRUE(about != NULL);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    ExpectCentredOn(desktop, about, "About");
    EXPECT_TRUE(GetWindow(about, GW_OWNER) == NULL) << "About has an owner without Task Manager";
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitForDialogGone(aboutCaption));

    HWND search = OpenSearch(L"");
    ASSERT_TRUE(search != NULL);
    ExpectCentredOn(desktop, search, "search");
}

TEST_F(ProgramDialogs, SearchOpensTheNameAloneWhateverTheExtendedSwitchSays)
{
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"SendExtendedInfo", 1));
    HWND search = OpenSearch(L"foo bar.exe");
    ASSERT_TRUE(search != NULL);
    // Enter in the field is the default button.
    PostMessageW(GetDlgItem(search, IDC_SEARCH_TEXT), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(WaitForRecordedAddresses(1, 10000)) << "no address reached the browser";
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"foo%20bar.exe?qaver=2.0", ReadRecordedAddresses().front());
    EXPECT_TRUE(WaitForDialogGone(searchCaption)) << "the dialog stayed open after a search";

    // Only the first 259 characters of a longer text are searched.
    ClearRecordedAddresses();
    search = OpenSearch(std::wstring(259, L'a') + std::wstring(41, L'b'));
    ASSERT_TRUE(search != NULL);
    SendMessageW(GetDlgItem(search, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForRecordedAddresses(1, 10000));
    EXPECT_EQ(std::wstring(lookupBaseAddress) + std::wstring(259, L'a') + L"?qaver=2.0",
              ReadRecordedAddresses().front());
    EXPECT_TRUE(WaitForDialogGone(searchCaption));

    // A text of blanks is not empty.
    ClearRecordedAddresses();
    search = OpenSearch(L"  ");
    ASSERT_TRUE(search != NULL);
    SendMessageW(GetDlgItem(search, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForRecordedAddresses(1, 10000));
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"%20%20?qaver=2.0", ReadRecordedAddresses().front());
}

TEST_F(ProgramDialogs, EmptyFieldCancelEscapeAndCloseOpenNothing)
{
    HWND search = OpenSearch(L"");
    ASSERT_TRUE(search != NULL);
    SendMessageW(GetDlgItem(search, IDOK), BM_CLICK, 0, 0);
    PostMessageW(GetDlgItem(search, IDC_SEARCH_TEXT), WM_KEYDOWN, VK_RETURN, 0);
    PumpMessagesFor(1000);
    EXPECT_EQ(1u, CountDialogs(searchCaption)) << "an empty search closed the dialog";

    struct {
        const char* how;
        std::function<void(HWND)> close;
    } ways[] = {
        {"Cancel", [](HWND dialog) { SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); }},
        {"Escape",
         [](HWND dialog) { PostMessageW(GetDlgItem(dialog, IDC_SEARCH_TEXT), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close button", [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (auto& way : ways) {
        if (!search)
            search = OpenSearch(L"notepad.exe");
        ASSERT_TRUE(search != NULL) << way.how;
        SetWindowTextW(GetDlgItem(search, IDC_SEARCH_TEXT), L"notepad.exe");
        way.close(search);
        EXPECT_TRUE(WaitForDialogGone(searchCaption)) << way.how << " left the dialog open";
        search = NULL;
    }
    PumpMessagesFor(1000);
    EXPECT_TRUE(ReadRecordedAddresses().empty()) << "an address was opened: " << NarrowUtf8(ReadRecordedAddresses().front());
}

// ---- In this process: owner, centring, guard bits, a failed creation -----------

class OwnDialogs : public testing::Test {
protected:
    void SetUp() override
    {
        appState.dialogGuards = 0;
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        // Plays Task Manager: a top-level window away from the screen's centre.
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 40, 501, 377, NULL,
                                NULL, NULL, NULL);
        ASSERT_TRUE(owner != NULL);
        attachment.view.window = owner;
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        appState.dialogGuards = 0;
    }
    HWND owner = NULL;
};

TEST_F(OwnDialogs, AboutRestoresAMinimisedOwnerCentresOnItAndDisablesItWhileOpen)
{
    ShowWindow(owner, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(owner));
    bool seen = false, ownerIconic = true, ownerEnabled = true;
    BYTE guardsWhileOpen = 0;
    HWND ownerOfBox = NULL;
    ModalScript script([&] {
        HWND about = FindOwnDialog(aboutCaption);
        if (!about)
            return false;
        seen = true;
        ownerIconic = IsIconic(owner) != FALSE;
        ownerEnabled = IsWindowEnabled(owner) != FALSE;
        guardsWhileOpen = appState.dialogGuards;
        ownerOfBox = GetWindow(about, GW_OWNER);
        RECT ownerRect;
        GetWindowRect(owner, &ownerRect);
        ExpectCentredOn(ownerRect, about, "About over its owner");
        // A second request while it is open returns at once.
        ShowAboutDialog(owner);
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        return true;
    });
    ShowAboutDialog(owner);
    ASSERT_TRUE(seen) << "About never showed";
    EXPECT_FALSE(ownerIconic) << "the minimised owner was not restored";
    EXPECT_FALSE(ownerEnabled) << "the owner stayed enabled under its modal box";
    EXPECT_TRUE(ownerOfBox == owner);
    EXPECT_EQ(ABOUT_DIALOG_OPEN, guardsWhileOpen);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner stayed disabled";
    EXPECT_EQ(0, appState.dialogGuards);
}

TEST_F(OwnDialogs, SearchSetsOnlyItsOwnBitAndTypingGoesToTheField)
{
    appState.dialogGuards = ABOUT_DIALOG_OPEN;  // as if the About box were open
    BYTE guardsWhileOpen = 0;
    HWND focus = NULL, field = NULL;
    ModalScript script([&] {
        HWND search = FindOwnDialog(searchCaption);
        if (!search)
            return false;
        guardsWhileOpen = appState.dialogGuards;
        focus = GetFocus();
        field = GetDlgItem(search, IDC_SEARCH_TEXT);
        PostMessageW(search, WM_CLOSE, 0, 0);
        return true;
    });
    ShowSearchDialog(owner);
    EXPECT_TRUE(script.finished()) << "the search dialog never showed";
    EXPECT_EQ(ABOUT_DIALOG_OPEN | SEARCH_DIALOG_OPEN, guardsWhileOpen);
    EXPECT_TRUE(focus == field) << "the name field does not have the focus";
    EXPECT_EQ(ABOUT_DIALOG_OPEN, appState.dialogGuards) << "closing the search touched About's bit";
}

TEST_F(OwnDialogs, ADialogThatCannotBeCreatedDoesNotStayLocked)
{
    // The owner vanished between the command and the dialog.
    HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    DestroyWindow(gone);
    bool appeared = false;
    {
        ModalScript script([&] {
            HWND about = FindOwnDialog(aboutCaption);
            if (about) {
                appeared = true;
                PostMessageW(about, WM_COMMAND, IDOK, 0);
            }
            return about != NULL;
        });
        ShowAboutDialog(gone);
    }
    EXPECT_FALSE(appeared) << "a dialog was made with a destroyed owner";
    EXPECT_EQ(0, appState.dialogGuards) << "the failed dialog left its bit set";

    ModalScript script([&] {
        HWND about = FindOwnDialog(aboutCaption);
        if (about)
            PostMessageW(about, WM_COMMAND, IDOK, 0);
        return about != NULL;
    });
    ShowAboutDialog(NULL);
    EXPECT_TRUE(script.finished()) << "About no longer opens after a failed creation";
}

// ---- The splash screen ---------------------------------------------------------

BOOL WINAPI ReportWindowsXp(LPOSVERSIONINFOW version)
{
    version->dwMajorVersion = 5;
    version->dwMinorVersion = 1;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

HWND FindOwnSplash()
{
    for (HWND dialog : ProcessWindows(GetCurrentProcessId(), L"#32770"))
        if (GetDlgItem(dialog, IDC_SPLASH_NOSHOW))
            return dialog;
    return NULL;
}

class Splash : public testing::Test {
protected:
    void SetUp() override
    {
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"probe", 0));
        DeleteRegistryValue(HKEY_CURRENT_USER, settingsPath, L"probe");
        seams.getVersion = ReportWindowsXp;
    }
    void TearDown() override { seams.getVersion = GetVersionExW; }
};

TEST(SplashOnVista, IsNotShownWhenElevated)
{
    // Wine's default: Windows 7 with a full token.
    ASSERT_TRUE(IsVistaOrLater() && IsElevated());
    ModalScript script([] {
        HWND splash = FindOwnSplash();
        if (splash)
            EndDialog(splash, 0);
        return splash != NULL;
    });
    DWORD before = GetTickCount();
    ShowSplash(NULL);
    PumpMessagesFor(100);
    EXPECT_FALSE(script.finished()) << "the splash screen showed";
    EXPECT_LT(GetTickCount() - before, 1000u);
}

TEST_F(Splash, IsARoundedWindowCentredOnTheDesktopWithTheSmallIcon)
{
    bool seen = false;
    ModalScript script([&] {
        HWND splash = FindOwnSplash();
        if (!splash)
            return false;
        seen = true;
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        HRGN expected = CreateRoundRectRgn(0, 0, 480, 280, 42, 42);
        EXPECT_NE(ERROR, GetWindowRgn(splash, region)) << "no window region";
        // Point by point, so a failure names the first pixel that differs.
        std::string firstDifference;
        for (int y = -1; y <= 281 && firstDifference.empty(); ++y)
            for (int x = -1; x <= 481 && firstDifference.empty(); ++x)
                if (!PtInRegion(region, x, y) != !PtInRegion(expected, x, y))
                    firstDifference = "(" + std::to_string(x) + "," + std::to_string(y) + ")";
        EXPECT_EQ("", firstDifference) << "the window region differs from the 480 x 280 rounded rectangle";
        DeleteObject(region);
        DeleteObject(expected);

        RECT desktop;
        GetWindowRect(GetDesktopWindow(), &desktop);
        ExpectCentredOn(desktop, splash, "splash");
        EXPECT_TRUE(GetWindow(splash, GW_OWNER) == NULL);
        // The face's size whatever the dialog font, with the check box where its label is painted.
        RECT client = {}, box = {};
        GetClientRect(splash, &client);
        EXPECT_EQ(480, client.right) << "splash width";
        EXPECT_EQ(280, client.bottom) << "splash height";
        GetWindowRect(GetDlgItem(splash, IDC_SPLASH_NOSHOW), &box);
        MapWindowPoints(NULL, splash, (POINT*)&box, 2);
        EXPECT_NEAR(206, box.left, 1) << "check box " << Show(box);
        EXPECT_NEAR(189, box.top, 1) << "check box " << Show(box);
        EXPECT_NEAR(12, box.right - box.left, 1) << "check box " << Show(box);
        EXPECT_NEAR(13, box.bottom - box.top, 1) << "check box " << Show(box);
        EXPECT_TRUE(SendMessageW(splash, WM_GETICON, ICON_SMALL, 0) != 0) << "no small icon";
        EXPECT_EQ((UINT)BST_UNCHECKED, IsDlgButtonChecked(splash, IDC_SPLASH_NOSHOW));

        // A corner outside the curve is not the splash screen's.
        RECT rect;
        GetWindowRect(splash, &rect);
        POINT corner = {rect.left + 2, rect.top + 2};
        HWND atCorner = WindowFromPoint(corner);
        EXPECT_TRUE(atCorner != splash && !IsChild(splash, atCorner)) << "the cut corner still belongs to it";
        EndDialog(splash, 0);
        return true;
    });
    ShowSplash(NULL);
    EXPECT_TRUE(seen) << "the splash screen never showed";
}

TEST_F(Splash, CheckBoxFlipsTheSwitchEachClickAndKeysDoNotCloseIt)
{
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
    int phase = 0;
    DWORD phaseStart = 0;
    std::vector<std::string> seen;
    ModalScript script([&] {
        HWND splash = FindOwnSplash();
        if (!splash)
            return false;
        HWND box = GetDlgItem(splash, IDC_SPLASH_NOSHOW);
        switch (phase) {
        case 0:
            EXPECT_EQ((UINT)BST_CHECKED, IsDlgButtonChecked(splash, IDC_SPLASH_NOSHOW))
                << "the box does not show the stored 1";
            SendMessageW(box, BM_CLICK, 0, 0);
            seen.push_back(Describe(ReadSwitchValue(L"NoSplashScreen")));
            SendMessageW(box, BM_CLICK, 0, 0);
            seen.push_back(Describe(ReadSwitchValue(L"NoSplashScreen")));
            EXPECT_EQ((UINT)BST_CHECKED, IsDlgButtonChecked(splash, IDC_SPLASH_NOSHOW));
            PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
            phase = 1;
            phaseStart = GetTickCount();
            return false;
        case 1:
            if (GetTickCount() - phaseStart < 500)
                return false;
            EXPECT_TRUE(IsWindowVisible(splash)) << "Enter or Escape closed the splash screen";
            EndDialog(splash, 0);
            return true;
        }
        return true;
    });
    ShowSplash(NULL);
    ASSERT_EQ(2u, seen.size()) << "the splash screen never showed";
    EXPECT_EQ("REG_DWORD 0", seen[0]);
    EXPECT_EQ("REG_DWORD 1", seen[1]);
}

// A real press on the face, away from the check box, ends it.
void ExpectPressOnFaceCloses(DWORD down, DWORD up, const char* button)
{
    bool pressed = false;
    ModalScript script([&] {
        HWND splash = FindOwnSplash();
        if (!splash)
            return false;
        RECT rect;
        GetWindowRect(splash, &rect);
        POINT face = {rect.left + 60, rect.top + (rect.bottom - rect.top) / 2};
        MoveMouseTo(face);
        SendMouseButton(down);
        SendMouseButton(up);
        pressed = true;
        return true;
    });
    DWORD before = GetTickCount();
    ShowSplash(NULL);
    EXPECT_TRUE(pressed) << button;
    EXPECT_LT(GetTickCount() - before, 5000u) << "a " << button << " press on the face did not close it";
}

TEST_F(Splash, ALeftOrRightPressOnTheFaceClosesIt)
{
    ExpectPressOnFaceCloses(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, "left");
    ExpectPressOnFaceCloses(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, "right");
    EXPECT_FALSE(ReadSwitchValue(L"NoSplashScreen").present) << "a press on the face changed the switch";
}

TEST_F(Splash, ClosesByItselfAfterTenSeconds)
{
    DWORD shownAt = 0;
    ModalScript script([&] {
        if (FindOwnSplash())
            shownAt = GetTickCount();
        return shownAt != 0;
    });
    // Its timer is armed after this moment, so no load can make the wait look shorter.
    DWORD calledAt = GetTickCount();
    ShowSplash(NULL);
    DWORD closedAt = GetTickCount();
    ASSERT_NE(0u, shownAt) << "the splash screen never showed";
    EXPECT_GE(closedAt - calledAt, 9950u) << "closed before its ten seconds";
    // Late timers under load are no fault; one that never fires would be.
    // Only the lower bound is the ten seconds; the upper one is headroom for
    // an emulated 32-bit program under load.
    EXPECT_LE(closedAt - shownAt, 60000u) << "did not close by itself";
}

// ---- The splash screen at start-up of the real program ------------------------

class SplashAtStartUp : public testing::Test {
protected:
    void SetUp() override
    {
        EndTaskManagers();
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    }
    void TearDown() override
    {
        SetWindowsVersionFor(L"Tavrowen2.exe", NULL);
        if (program.hProcess) {
            for (HWND dialog : ProcessWindows(program.dwProcessId, L"#32770"))
                PostMessageW(dialog, WM_LBUTTONDOWN, 0, 0);
            ShutDownTavrowen(&program);
        }
        WaitUntil([] { return FindMainWindow() == NULL; }, 5000);
        EndTaskManagers();
    }
    HWND FindSplash() const
    {
        for (HWND dialog : ProcessWindows(program.dwProcessId, L"#32770"))
            if (GetDlgItem(dialog, IDC_SPLASH_NOSHOW))
                return dialog;
        return NULL;
    }
    // Starts the program and reports whether a splash screen showed before start-up ended.
    bool StartAndSeeSplash(const std::wstring& arguments)
    {
        if (!StartProgram(BinPath(L"Tavrowen2.exe"), arguments, &program))
            return false;
        bool seen = false;
        WaitUntil(
            [&] {
                if (FindSplash())
                    seen = true;
                HWND mainWindow = FindMainWindow();
                return seen || (mainWindow && TrayIconExists(mainWindow));
            },
            20000);
        return seen;
    }
    PROCESS_INFORMATION program = {};
};

TEST_F(SplashAtStartUp, OnWindowsXpItGreetsTheUserAndHoldsStartUpUntilPressed)
{
    SetWindowsVersionFor(L"Tavrowen2.exe", L"winxp");
    ASSERT_TRUE(StartAndSeeSplash(L"")) << "no splash screen on Windows XP";
    HWND splash = FindSplash();
    ASSERT_TRUE(splash != NULL);
    PumpMessagesFor(500);
    EXPECT_FALSE(TrayIconExists(FindMainWindow())) << "start-up went on under the splash screen";
    EXPECT_TRUE(FindTaskManagerWindow() == NULL) << "Task Manager started under the splash screen";
    PostMessageW(splash, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_TRUE(WaitUntil([&] { return FindSplash() == NULL; }, 5000)) << "a press did not close it";
    EXPECT_TRUE(WaitUntil([] { return TrayIconExists(FindMainWindow()); }, 10000))
        << "start-up did not go on after the splash screen";
    EXPECT_TRUE(WaitForTopWindow(L"#32770", taskManagerTitle, 15000) != NULL)
        << "Task Manager was not started after the splash screen";
}

TEST_F(SplashAtStartUp, NotShownWhenAutostartedSwitchedOffOrElevated)
{
    SetWindowsVersionFor(L"Tavrowen2.exe", L"winxp");
    EXPECT_FALSE(StartAndSeeSplash(L"/AutoStart")) << "shown when autostarted";
    EXPECT_EQ(1u, ShutDownTavrowen(&program));

    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsPath, L"NoSplashScreen", 1));
    EXPECT_FALSE(StartAndSeeSplash(L"")) << "shown with NoSplashScreen 1";
    EXPECT_EQ(1u, ShutDownTavrowen(&program));
    EndTaskManagers();

    // Wine's default Windows 7, where every process is elevated.
    SetWindowsVersionFor(L"Tavrowen2.exe", NULL);
    DeleteRegistryTree(HKEY_CURRENT_USER, settingsPath);
    EXPECT_FALSE(StartAndSeeSplash(L"")) << "shown on Vista and later when elevated";
}

}  // namespace
