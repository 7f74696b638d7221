// The link strip in this process: drawing into a memory DC, painting,
// positioning from the record, names read through Active Accessibility from
// the stand-in's list, and what a click opens.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/seams.h"
#include "taskmgr/attachment.h"
#include "app/app_state.h"
#include "core/lookup_url.h"
#include "core/background_jobs.h"
#include "lookup/process_lookup.h"
#include "standin_client.h"
#include "taskmgr/link_strip.h"
#include "taskmgr/task_manager_view.h"
#include "resource.h"

namespace {

const COLORREF BACKGROUND = RGB(255, 0, 255);

// A 32-bit top-down bitmap selected into a memory DC, filled with BACKGROUND.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height) : width(width), height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void**)&bits, NULL, 0);
        previous = SelectObject(dc, bitmap);
        for (int i = 0; i < width * height; ++i)
            bits[i] = 0x00FF00FF;  // BACKGROUND as BGRA
    }
    ~MemoryCanvas()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    int ChangedPixels() const
    {
        GdiFlush();
        int changed = 0;
        for (int i = 0; i < width * height; ++i)
            changed += (bits[i] & 0x00FFFFFF) != 0x00FF00FF;
        return changed;
    }

    int width;
    int height;
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ previous = NULL;
    DWORD* bits = NULL;
};

HICON LoadProgramIcon()
{
    return (HICON)LoadImageW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON, 0, 0,
                             LR_DEFAULTSIZE);
}

// The canvas must equal a blank one with the 12 x 12 icon drawn at each top.
void ExpectIconsAt(const MemoryCanvas& canvas, HICON icon, const std::vector<int>& tops)
{
    MemoryCanvas expected(canvas.width, canvas.height);
    for (int top : tops)
        DrawIconEx(expected.dc, 0, top, icon, LINK_ICON_SIZE, LINK_ICON_SIZE, 0, NULL, DI_NORMAL);
    GdiFlush();
    int differences = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            if (canvas.bits[y * canvas.width + x] != expected.bits[y * canvas.width + x] && differences++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    std::string where;
    for (int top : tops)
        where += " " + std::to_string(top);
    EXPECT_EQ(0, differences) << "icons expected at y" << where << "; first stray pixel at " << firstX << ","
                              << firstY;
}

// Keeps the addresses the strip opens instead of starting a browser.
std::vector<std::wstring> openedAddresses;

HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    openedAddresses.push_back(file ? file : L"");
    return (HINSTANCE)33;
}

// A hidden parent standing in for MainWindow, with the strip under it.
class StripTest : public testing::Test {
protected:
    void SetUp() override
    {
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        parent = CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(parent != NULL);
        ASSERT_TRUE(CreateLinkStripWindow(parent));
        // Clicks post their lookups' results to the main window: this one stands in.
        appState.mainWindow = CreateLookupResultWindow();
        attachment.owner = appState.mainWindow;
        ASSERT_TRUE(appState.mainWindow != NULL);
        ReopenBackgroundJobs();
        openedAddresses.clear();
        seams.shellExecute = RecordOpen;
    }
    void TearDown() override
    {
        // A stand-in that ended takes an attached strip with it; let that arrive.
        PumpMessagesFor(200);
        StopBackgroundJobs();
        DestroyWindow(appState.mainWindow);
        appState.mainWindow = NULL;
        attachment.owner = NULL;
        if (attachment.linkStrip)
            DestroyWindow(attachment.linkStrip);
        EXPECT_TRUE(attachment.linkStrip == NULL) << "the strip's handle outlived its window";
        DestroyWindow(parent);
        ZeroMemory(&attachment.view, sizeof(attachment.view));
    }

    // The strip's rectangle in its parent's client coordinates.
    RECT StripRect()
    {
        RECT rect;
        GetWindowRect(attachment.linkStrip, &rect);
        MapWindowPoints(NULL, GetParent(attachment.linkStrip), (POINT*)&rect, 2);
        return rect;
    }

    // Puts the strip into the stand-in's Processes page, as attaching does.
    void AttachTo(StandInTaskManager& standIn)
    {
        ASSERT_TRUE(FindAttachedTaskManager());
        ASSERT_EQ(standIn.page, attachment.view.geometry.page);
        ASSERT_TRUE(SetParent(attachment.linkStrip, standIn.page) != NULL);
        PositionLinkStrip();
    }

    // Clicks the strip (in this process) at a height in its client area and
    // waits until the lookup, if the click started one, has been opened.
    void ClickStripAt(int y)
    {
        OnLinkStripClick(attachment.linkStrip, MAKELPARAM(3, y));
        EXPECT_TRUE(WaitUntil([] { return !IsLookupPending(); }, 30000)) << "the lookup was never opened";
    }

    // Clicks the strip at the height of a row's middle.
    void ClickBesideRow(StandInTaskManager& standIn, int row)
    {
        RECT rowRect = standIn.RowScreenRect(row);
        POINT point = {0, (rowRect.top + rowRect.bottom) / 2};
        ScreenToClient(attachment.linkStrip, &point);
        ClickStripAt(point.y);
    }

    HWND parent = NULL;
};

}  // namespace

TEST(DrawLinkIcons, DrawsOneIconCentredInEachWholeRow)
{
    HICON icon = LoadProgramIcon();
    ASSERT_TRUE(icon != NULL);
    {
        MemoryCanvas canvas(16, 110);
        RECT client = {0, 0, 12, 100};
        EXPECT_EQ(5, DrawLinkIcons(canvas.dc, &client, 20, icon));
        EXPECT_GT(canvas.ChangedPixels(), 5 * 20) << "the icons drew next to nothing";
        ExpectIconsAt(canvas, icon, {4, 24, 44, 64, 84});
    }
    {
        MemoryCanvas canvas(16, 110);
        RECT client = {0, 0, 12, 99};
        EXPECT_EQ(4, DrawLinkIcons(canvas.dc, &client, 20, icon)) << "a row cut short gets no icon";
        ExpectIconsAt(canvas, icon, {4, 24, 44, 64});
    }
    {
        MemoryCanvas canvas(16, 110);
        RECT client = {0, 0, 12, 100};
        EXPECT_EQ(0, DrawLinkIcons(canvas.dc, &client, 0, icon));
        EXPECT_EQ(0, DrawLinkIcons(canvas.dc, &client, -20, icon));
        EXPECT_EQ(0, DrawLinkIcons(canvas.dc, &client, 20, NULL));
        ExpectIconsAt(canvas, icon, {});
    }
    {
        // Offsets: (11 - 12) / 2 truncates to 0, (10 - 12) / 2 to -1.
        MemoryCanvas canvas(16, 40);
        RECT client = {0, 0, 12, 22};
        EXPECT_EQ(2, DrawLinkIcons(canvas.dc, &client, 11, icon));
        ExpectIconsAt(canvas, icon, {0, 11});
    }
    {
        MemoryCanvas canvas(16, 40);
        RECT client = {0, 0, 12, 20};
        EXPECT_EQ(2, DrawLinkIcons(canvas.dc, &client, 10, icon));
        ExpectIconsAt(canvas, icon, {-1, 9});
    }
    DestroyIcon(icon);
}

TEST(CutAtAsterisk, CutsAtTheFirstAsteriskAndTheBlanksBeforeIt)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* expected;
    } cases[] = {
        {L"example.exe *32", L"example.exe"},
        {L"example.exe \t *32", L"example.exe"},
        {L"example.exe*", L"example.exe"},
        {L"a * b * c", L"a"},
        {L"*32", L""},
        {L"  *32", L""},
        {L"example.exe  ", L"example.exe  "},
        {L"", L""},
    };
    for (const Case& test : cases) {
        wchar_t name[MAX_PATH];
        lstrcpyW(name, test.name);
        CutAtAsterisk(name);
        EXPECT_STREQ(test.expected, name) << "for \"" << NarrowUtf8(test.name) << "\"";
    }
}

TEST_F(StripTest, PaintValidatesTheUpdateRegionEvenWhenItDrawsNothing)
{
    // Update regions are kept only for visible windows.
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    SetWindowPos(attachment.linkStrip, NULL, 0, 0, LINK_STRIP_WIDTH, 100, SWP_NOZORDER);
    for (int itemHeight : {0, 20}) {
        attachment.view.geometry.itemHeight = itemHeight;
        InvalidateRect(attachment.linkStrip, NULL, TRUE);
        ASSERT_TRUE(GetUpdateRect(attachment.linkStrip, NULL, FALSE));
        PaintLinkStrip(attachment.linkStrip);
        EXPECT_FALSE(GetUpdateRect(attachment.linkStrip, NULL, FALSE))
            << "update region left after painting with row height " << itemHeight;
    }
}

TEST_F(StripTest, PositionFollowsTheMeasuredRowsAndTheLiveTopRow)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:40 /perpage:20"));
    ASSERT_EQ(20, standIn.CountPerPage());
    int rowHeight = standIn.RowHeight();
    ASSERT_GT(rowHeight, 0);

    ListGeometry& geometry = attachment.view.geometry;
    geometry.listView = standIn.list;
    geometry.headerRect.bottom = 25;
    geometry.itemHeight = rowHeight;
    struct Case {
        int itemCount, countPerPage, top, rows;
    } cases[] = {
        {30, 20, 15, 15},  // the rows below the top run out first
        {30, 20, 0, 20},   // a full page
        {5, 20, 0, 5},     // fewer rows than room
        {30, 20, 10, 20},  // the last full page
        {10, 20, 15, 0},   // top row past the measured rows: nothing to show
    };
    for (const Case& test : cases) {
        geometry.itemCount = test.itemCount;
        geometry.countPerPage = test.countPerPage;
        ASSERT_EQ(test.top, (int)standIn.Send(STANDIN_SCROLL_TO, test.top));
        PositionLinkStrip();
        RECT rect = StripRect();
        std::string what = "items " + std::to_string(test.itemCount) + ", top " + std::to_string(test.top);
        EXPECT_EQ(0, rect.left) << what;
        EXPECT_EQ(26, rect.top) << what;
        EXPECT_EQ(LINK_STRIP_WIDTH, rect.right - rect.left) << what;
        EXPECT_EQ(test.rows * rowHeight, rect.bottom - rect.top) << what;
    }
}

TEST_F(StripTest, NameAtPointReadsTheRowAndCutsIt)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:1"));
    std::wstring longName(300, L'x');
    std::wstring longMarked = std::wstring(200, L'y') + L".exe *" + std::wstring(90, L'z');
    ASSERT_TRUE(standIn.SendText(STANDIN_COPY_SET_ROWS, L"alpha.exe|beta.exe *32|*gamma|delta.exe  |" + longName +
                                                            L"|" + longMarked));
    RECT listRect;
    GetWindowRect(standIn.list, &listRect);
    auto nameAt = [&](int row, std::wstring* name) {
        RECT rowRect = standIn.RowScreenRect(row);
        POINT point = {listRect.left + 6, (rowRect.top + rowRect.bottom) / 2};
        wchar_t buffer[MAX_PATH];
        wmemset(buffer, L'Q', MAX_PATH);
        bool found = NameAtPoint(point, buffer);
        *name = found ? buffer : L"";
        return found;
    };
    std::wstring name;
    EXPECT_TRUE(nameAt(0, &name));
    EXPECT_EQ(L"alpha.exe", name);
    EXPECT_TRUE(nameAt(1, &name));
    EXPECT_EQ(L"beta.exe", name);
    EXPECT_TRUE(nameAt(2, &name)) << "a name that is all cut away still counts";
    EXPECT_EQ(L"", name);
    EXPECT_TRUE(nameAt(3, &name));
    EXPECT_EQ(L"delta.exe  ", name);
    // A name longer than the buffer would be looked up cut short: refused,
    // unless its asterisk falls inside the buffer and the cut removes the rest.
    EXPECT_FALSE(nameAt(4, &name)) << "a 300-character name was taken as " << name.size() << " characters";
    EXPECT_TRUE(nameAt(5, &name));
    EXPECT_EQ(std::wstring(200, L'y') + L".exe", name);

    // Below the last row lies the list itself, which has no name.
    RECT lastRow = standIn.RowScreenRect(5);
    POINT below = {listRect.left + 6, lastRow.bottom + 5};
    wchar_t buffer[MAX_PATH] = L"";
    EXPECT_FALSE(NameAtPoint(below, buffer));
}

TEST_F(StripTest, ClickOpensTheLookupForTheRowBesideIt)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:1 /perpage:10"));
    ASSERT_TRUE(standIn.SendText(STANDIN_COPY_SET_ROWS, L"alpha.exe|beta.exe *32|*gamma|my tool.exe"));
    AttachTo(standIn);
    ASSERT_EQ(4 * standIn.RowHeight(), StripRect().bottom - StripRect().top);

    const std::wstring base = lookupBaseAddress;
    const wchar_t* expected[] = {L"alpha.exe", L"beta.exe", L"", L"my%20tool.exe"};
    for (int row = 0; row < 4; ++row) {
        openedAddresses.clear();
        ClickBesideRow(standIn, row);
        ASSERT_EQ(1u, openedAddresses.size()) << "row " << row;
        EXPECT_EQ(base + expected[row] + L"?qaver=2.0", openedAddresses[0]) << "row " << row;
    }

    // The strip's last pixel row lies beside the first pixel row under the
    // last row: beside no row, so nothing opens.
    openedAddresses.clear();
    RECT strip;
    GetClientRect(attachment.linkStrip, &strip);
    ClickStripAt(strip.bottom - 1);
    EXPECT_TRUE(openedAddresses.empty()) << "opened " << NarrowUtf8(openedAddresses.empty() ? L"" : openedAddresses[0]);
}

TEST_F(StripTest, ClickBesideAHungListOpensNothingWithoutWaiting)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:1 /perpage:10"));
    ASSERT_TRUE(standIn.SendText(STANDIN_COPY_SET_ROWS, L"alpha.exe|beta.exe"));
    AttachTo(standIn);
    RECT rowRect = standIn.RowScreenRect(0);
    POINT point = {0, (rowRect.top + rowRect.bottom) / 2};
    ScreenToClient(attachment.linkStrip, &point);

    ASSERT_TRUE(standIn.Hang(10000)) << "the stand-in did not hang";
    OnLinkStripClick(attachment.linkStrip, MAKELPARAM(3, point.y));
    EXPECT_FALSE(IsLookupPending()) << "a click beside a hung list started a lookup";
    EXPECT_TRUE(openedAddresses.empty()) << "a click beside a hung list opened a lookup";
    EXPECT_TRUE(standIn.StillHung()) << "the click waited for the hung Task Manager";

    ASSERT_TRUE(standIn.WaitUntilAwake(30000));
    ClickStripAt(point.y);
    ASSERT_EQ(1u, openedAddresses.size()) << "no lookup once Task Manager answered again";
    EXPECT_EQ(std::wstring(lookupBaseAddress) + L"alpha.exe?qaver=2.0", openedAddresses[0]);
}
