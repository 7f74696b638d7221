// Reaching the program by keyboard and screen reader: the strip's links as
// another process reads them, Ctrl+Alt+K on Task Manager's selected row, the
// Running Processes list kept quiet, and the strip in high contrast.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <oleacc.h>
#include <string>
#include "app/app_state.h"
#include "app/process_window.h"
#include "app/row_details.h"
#include "core/lookup_url.h"
#include "core/settings.h"
#include "core/system_probes.h"
#include "taskmgr/attachment.h"
#include "taskmgr/link_strip.h"
#include "resource.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

class RunningProgram : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsKeyPath, L"NoSplashScreen", 1));
        ClearRecordedAddresses();
        ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"/autostart", &program));
        ASSERT_TRUE(standIn.Start(L"/perpage:10"));
        ASSERT_TRUE(standIn.SendText(STANDIN_COPY_SET_ROWS, L"alpha.exe|beta.exe *32|gamma.exe|delta.exe"));
        ASSERT_TRUE(WaitUntil([&] {
            strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL);
            RECT rect;
            return strip && GetWindowRect(strip, &rect) && rect.bottom - rect.top == 4 * standIn.RowHeight();
        }, 10000)) << "the strip never lay beside the four rows";
    }
    void TearDown() override
    {
        if (program.hProcess) {
            EXPECT_EQ(1u, ShutDownTavrowen(&program));
        }
    }
    std::wstring Address(const wchar_t* name) const { return std::wstring(lookupBaseAddress) + name + L"?qaver=2.0"; }

    PROCESS_INFORMATION program = {};
    StandInTaskManager standIn;
    HWND strip = NULL;
};

}  // namespace

// From this process, through oleacc's marshalling, as a screen reader reads it.
TEST_F(RunningProgram, AnotherProcessReadsTheStripsLinksAndFollowsOne)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL)));
    IAccessible* accessible = NULL;
    ASSERT_EQ(S_OK, AccessibleObjectFromWindow(strip, (DWORD)OBJID_CLIENT, accessibleInterfaceId,
                                               (void**)&accessible));
    ASSERT_TRUE(accessible != NULL);
    long count = 0;
    EXPECT_EQ(S_OK, accessible->get_accChildCount(&count));
    EXPECT_EQ(4, count);
    const wchar_t* names[] = {L"alpha.exe", L"beta.exe", L"gamma.exe", L"delta.exe"};
    RECT stripRect;
    GetWindowRect(strip, &stripRect);
    for (long child = 1; child <= count && child <= 4; ++child) {
        VARIANT id;
        VariantInit(&id);
        id.vt = VT_I4;
        id.lVal = child;
        BSTR name = NULL;
        EXPECT_EQ(S_OK, accessible->get_accName(id, &name)) << "link " << child;
        EXPECT_EQ(L"Look up " + std::wstring(names[child - 1]) + L" on Kestrava", name ? name : L"(none)");
        SysFreeString(name);
        VARIANT role;
        VariantInit(&role);
        EXPECT_EQ(S_OK, accessible->get_accRole(id, &role));
        EXPECT_EQ(ROLE_SYSTEM_LINK, role.vt == VT_I4 ? role.lVal : -1) << "link " << child;
        VariantClear(&role);
        long left = 0, top = 0, width = 0, height = 0;
        EXPECT_EQ(S_OK, accessible->accLocation(&left, &top, &width, &height, id));
        RECT row = standIn.RowScreenRect(child - 1);
        EXPECT_EQ(stripRect.left, left) << "link " << child;
        EXPECT_EQ(stripRect.right - stripRect.left, width) << "link " << child;
        EXPECT_EQ(stripRect.top + (child - 1) * standIn.RowHeight(), top) << "link " << child;
        EXPECT_EQ(standIn.RowHeight(), height) << "link " << child;
        EXPECT_TRUE(row.top <= top + height / 2 && top + height / 2 < row.bottom) << "link " << child
                                                                                   << " lies beside another row";
    }
    VARIANT third;
    VariantInit(&third);
    third.vt = VT_I4;
    third.lVal = 3;
    EXPECT_EQ(S_OK, accessible->accDoDefaultAction(third));
    ASSERT_TRUE(WaitForRecordedAddresses(1, 15000)) << "the default action opened nothing";
    EXPECT_EQ(Address(L"gamma.exe"), ReadRecordedAddresses().back());
    accessible->Release();
    CoUninitialize();
}

TEST_F(RunningProgram, CtrlAltKLooksUpTheRowSelectedInTaskManager)
{
    SetForegroundWindow(standIn.window);
    RECT stripRect;
    GetWindowRect(strip, &stripRect);
    RECT row = standIn.RowScreenRect(1);
    ClickScreenPoint(stripRect.right + 20, (row.top + row.bottom) / 2);
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(standIn.list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED) == 1; },
                          5000)) << "the click did not select the second row";
    PumpMessagesFor(300);
    EXPECT_EQ(0u, ReadRecordedAddresses().size()) << "selecting a row opened a lookup by itself";
    INPUT keys[6] = {};
    const WORD order[6] = {VK_CONTROL, VK_MENU, 'K', 'K', VK_MENU, VK_CONTROL};
    for (int i = 0; i < 6; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = order[i];
        keys[i].ki.dwFlags = i < 3 ? 0 : KEYEVENTF_KEYUP;
    }
    ASSERT_EQ(6u, SendInput(6, keys, sizeof(INPUT)));
    ASSERT_TRUE(WaitForRecordedAddresses(1, 15000)) << "Ctrl+Alt+K opened nothing";
    EXPECT_EQ(Address(L"beta.exe"), ReadRecordedAddresses().back());
}

namespace {

HWND hookedList;
int listEvents;

void CALLBACK CountListEvent(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD)
{
    if (window == hookedList)
        ++listEvents;
}

DWORD PidAt(HWND list, int item)
{
    wchar_t text[16] = L"";
    LVITEMW cell = {};
    cell.iSubItem = 1;
    cell.pszText = text;
    cell.cchTextMax = ARRAYSIZE(text);
    SendMessageW(list, LVM_GETITEMTEXTW, item, (LPARAM)&cell);
    return wcstoul(text, NULL, 10);
}

}  // namespace

TEST(QuietList, AnUnchangedRefreshTouchesNothingAndAChangeKeepsTheFocusedAndTopRows)
{
    ShowProcessWindow();
    HWND window = ProcessWindowHandle();
    ASSERT_TRUE(window != NULL);
    HWND list = GetDlgItem(window, IDC_PROCESS_LIST);
    // Three rows in view, so that the list can scroll.
    SetWindowPos(window, NULL, 0, 0, 500, 160, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(WaitUntil([] { return !AreRowDetailsPending(); }, 30000));
    int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    ASSERT_GE(count, 6) << "too few processes in the prefix";
    int focused = count - 2;
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, focused, (LPARAM)&state);
    SendMessageW(list, LVM_ENSUREVISIBLE, focused, FALSE);
    DWORD focusedPid = PidAt(list, focused);
    DWORD topPid = PidAt(list, (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    PumpMessagesFor(2500);

    hookedList = list;
    listEvents = 0;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, NULL, CountListEvent, GetCurrentProcessId(), 0,
                                         WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(hook != NULL);
    UpdateWindow(list);
    RefreshProcessWindow();
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PROCESS_FILTER, EN_CHANGE), 0);
    EXPECT_FALSE(GetUpdateRect(list, NULL, FALSE)) << "an unchanged refresh drew the list again";
    PumpMessagesFor(2500);  // the timer's refresh too
    EXPECT_EQ(0, listEvents) << "an unchanged refresh raised WinEvents for the list";

    // A process whose row sorts first comes: the rows in view stay.
    PROCESS_INFORMATION first = {};
    std::wstring path = ProgramFilesFolder() + L"\\aaa_quiet.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"locator_target.exe").c_str(), path.c_str(), FALSE));
    ASSERT_TRUE(StartLocatorTarget(path, L"", &first));
    RefreshProcessWindow();
    EXPECT_EQ(count + 1, (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    int nowFocused = (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    EXPECT_EQ(focusedPid, PidAt(list, nowFocused)) << "the focus left its process";
    EXPECT_EQ(nowFocused, (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED));
    EXPECT_EQ(topPid, PidAt(list, (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0))) << "the rows in view moved";

    // Ctrl+P: no refresh until pressed again, and the title says so.
    SendMessageW(window, WM_COMMAND, IDM_PAUSE_REFRESH, 0);
    wchar_t title[128] = L"";
    GetWindowTextW(window, title, ARRAYSIZE(title));
    std::wstring paused = title;
    EXPECT_EQ(L" (Paused)", paused.size() > 9 ? paused.substr(paused.size() - 9) : paused);
    EndProgram(&first);
    PumpMessagesFor(4500);
    EXPECT_EQ(count + 1, (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) << "refreshed while paused";
    SendMessageW(window, WM_COMMAND, IDM_PAUSE_REFRESH, 0);
    EXPECT_TRUE(WaitUntil([&] { return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == count; }, 5000))
        << "resuming did not refresh";
    GetWindowTextW(window, title, ARRAYSIZE(title));
    EXPECT_EQ(std::wstring::npos, std::wstring(title).find(L"Paused"));
    UnhookWinEvent(hook);
    CloseProcessWindow();
    DeleteFileW(path.c_str());
}

// The strip's face as WM_PRINTCLIENT draws it: only system colours in high
// contrast, the icon's own colours otherwise.
TEST(HighContrast, TheStripDrawsInSystemColoursOnlyAndFollowsTheSetting)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
    attachment.view.geometry.itemHeight = 16;
    ASSERT_TRUE(CreateLinkStripWindow(parent));
    SetWindowPos(attachment.linkStrip, NULL, 0, 0, LINK_ICON_SIZE, 3 * 16, SWP_NOZORDER);
    auto countOtherColours = [&](int* hotlight) {
        const int width = LINK_ICON_SIZE, height = 3 * 16;
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
        DWORD* bits = NULL;
        HDC dc = CreateCompatibleDC(NULL);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void**)&bits, NULL, 0);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        SendMessageW(attachment.linkStrip, WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT);
        GdiFlush();
        int other = 0;
        *hotlight = 0;
        for (int i = 0; i < width * height; ++i) {
            COLORREF pixel = RGB((bits[i] >> 16) & 0xFF, (bits[i] >> 8) & 0xFF, bits[i] & 0xFF);
            *hotlight += pixel == GetSysColor(COLOR_HOTLIGHT);
            other += pixel != GetSysColor(COLOR_HOTLIGHT) && pixel != GetSysColor(COLOR_WINDOW);
        }
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return other;
    };
    int hotlight = 0;
    EXPECT_GT(countOtherColours(&hotlight), 0) << "without high contrast the icon's own colours show";
    // Wine keeps no high contrast setting (SPI_SETHIGHCONTRAST fails): there
    // the outlines the strip draws in high contrast are checked by themselves.
    HIGHCONTRASTW contrast = {sizeof(contrast), HCF_HIGHCONTRASTON, NULL};
    if (SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof(contrast), &contrast, 0)) {
        EXPECT_EQ(0, countOtherColours(&hotlight)) << "colours beyond COLOR_WINDOW and COLOR_HOTLIGHT";
        EXPECT_GE(hotlight, 3 * 8) << "the three links' outlines are missing";
        contrast.dwFlags = 0;
        SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof(contrast), &contrast, 0);
    }
    HDC dc = CreateCompatibleDC(NULL);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), LINK_ICON_SIZE, -48, 1, 32, BI_RGB};
    DWORD* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void**)&bits, NULL, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT client = {0, 0, LINK_ICON_SIZE, 48};
    EXPECT_EQ(3, DrawLinkOutlines(dc, &client, 16));
    GdiFlush();
    int rowOutlines[3] = {0, 0, 0};
    for (int i = 0; i < LINK_ICON_SIZE * 48; ++i) {
        COLORREF pixel = RGB((bits[i] >> 16) & 0xFF, (bits[i] >> 8) & 0xFF, bits[i] & 0xFF);
        rowOutlines[i / LINK_ICON_SIZE / 16] += pixel == GetSysColor(COLOR_HOTLIGHT);
        EXPECT_TRUE(pixel == GetSysColor(COLOR_HOTLIGHT) || pixel == GetSysColor(COLOR_WINDOW)) << "pixel " << i;
    }
    for (int row = 0; row < 3; ++row)
        EXPECT_GE(rowOutlines[row], 8) << "row " << row << " has no outline";
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    DestroyWindow(attachment.linkStrip);
    DestroyWindow(parent);
}
