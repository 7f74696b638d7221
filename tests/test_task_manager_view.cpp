// Discovery of the stand-in Task Manager and measurement of its process list,
// run in this process as the program runs it.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "app/app_state.h"
#include "standin_client.h"
#include "taskmgr/attachment.h"
#include "taskmgr/task_manager_view.h"

namespace {

RECT WindowRectIn(HWND window, HWND reference)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(NULL, reference, (POINT*)&rect, 2);
    return rect;
}

std::string Describe(const RECT& rect)
{
    return "{" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) +
           "," + std::to_string(rect.bottom) + "}";
}

bool SameRect(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

// The spy exists (discovery restarts its watch timers) but nothing attaches:
// there is no main window to arm the attach timer on.
class DiscoveryTest : public testing::Test {
protected:
    void SetUp() override
    {
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        appState.mainWindow = NULL;
        parent = CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(CreateSpyWindow(parent));
    }
    void TearDown() override
    {
        DestroyWindow(attachment.spyWindow);
        DestroyWindow(parent);
        ZeroMemory(&attachment.view, sizeof(attachment.view));
    }
    bool WatchTimersRunning()
    {
        bool clientArea = TimerRunning(attachment.spyWindow, CLIENT_AREA_WATCH_TIMER, ClientAreaWatchProc);
        bool list = TimerRunning(attachment.spyWindow, LIST_WATCH_TIMER, ListWatchProc);
        EXPECT_EQ(clientArea, list) << "the two watch timers must start together";
        return clientArea && list;
    }
    // Values no discovery would write, to see what it leaves alone.
    void FillWithMarks(TaskManagerView* view)
    {
        view->window = (HWND)0x1234;
        SetRect(&view->clientRect, 1, 2, 3, 4);
        view->geometry.page = (HWND)0x5678;
        view->geometry.itemHeight = 77;
        view->geometry.itemCount = 88;
        view->geometry.countPerPage = 99;
    }
    HWND parent = NULL;
};

}  // namespace

TEST(LoadTaskManagerTitle, ReadsString10003OfTheSystemsTaskManager)
{
    wchar_t title[MAX_PATH];
    wmemset(title, L'Q', MAX_PATH);
    ASSERT_TRUE(LoadTaskManagerTitle(title));
    EXPECT_STREQ(STANDIN_TITLE, title);
}

namespace {

// LoadStringW as the program's code calls it, watched: what the module list
// holds while Task Manager's title is read.
typedef int(WINAPI* LoadStringProc)(HINSTANCE, UINT, LPWSTR, int);
LoadStringProc originalLoadString = NULL;
int titleReads = 0;
bool taskManagerListed = false;

int WINAPI WatchLoadString(HINSTANCE module, UINT id, LPWSTR buffer, int size)
{
    ++titleReads;
    taskManagerListed = taskManagerListed || GetModuleHandleW(L"taskmgr.exe") != NULL;
    return originalLoadString(module, id, buffer, size);
}

// Points every import slot of this program that holds `original` at `replacement`.
int PatchImports(void* original, void* replacement)
{
    BYTE* base = (BYTE*)GetModuleHandleW(NULL);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (IMAGE_IMPORT_DESCRIPTOR* entry = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; ++entry) {
        for (ULONG_PTR* slot = (ULONG_PTR*)(base + entry->FirstThunk); *slot; ++slot) {
            if (*slot != (ULONG_PTR)original)
                continue;
            DWORD protection = 0;
            VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
            *slot = (ULONG_PTR)replacement;
            VirtualProtect(slot, sizeof(*slot), protection, &protection);
            ++patched;
        }
    }
    return patched;
}

}  // namespace

// Reading the title must not map taskmgr.exe as a program image (which would
// load its DLLs into our process and run their start-up code): while the
// string is read, no module of that name is in our module list.
TEST_F(DiscoveryTest, TitleIsReadWithoutLoadingTaskManagerAsAProgram)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:3"));
    originalLoadString = (LoadStringProc)(void*)GetProcAddress(GetModuleHandleW(L"user32.dll"), "LoadStringW");
    ASSERT_GT(PatchImports((void*)originalLoadString, (void*)WatchLoadString), 0);
    titleReads = 0;
    taskManagerListed = false;
    wchar_t title[MAX_PATH] = L"";
    bool titleLoaded = LoadTaskManagerTitle(title);
    bool found = FindAttachedTaskManager();
    PatchImports((void*)WatchLoadString, (void*)originalLoadString);

    EXPECT_TRUE(titleLoaded);
    EXPECT_STREQ(STANDIN_TITLE, title);
    EXPECT_TRUE(found);
    EXPECT_EQ(2, titleReads) << "the title was not read through LoadStringW";
    EXPECT_FALSE(taskManagerListed) << "taskmgr.exe was in the module list, loaded as a program image";
    EXPECT_TRUE(GetModuleHandleW(L"taskmgr.exe") == NULL) << "taskmgr.exe stayed loaded";
}

TEST_F(DiscoveryTest, WithoutTaskManagerReportsFalseAndTouchesOnlyTheWindow)
{
    FillWithMarks(&attachment.view);
    EXPECT_FALSE(FindAttachedTaskManager());
    EXPECT_TRUE(attachment.view.window == NULL);
    EXPECT_EQ(1, attachment.view.clientRect.left);
    EXPECT_TRUE(attachment.view.geometry.page == (HWND)0x5678);
    EXPECT_EQ(77, attachment.view.geometry.itemHeight);
    EXPECT_FALSE(WatchTimersRunning());
}

TEST_F(DiscoveryTest, HiddenTaskManagerIsKeptButNotMeasured)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/hidden /count:10"));
    FillWithMarks(&attachment.view);
    EXPECT_FALSE(FindAttachedTaskManager());
    EXPECT_TRUE(attachment.view.window == standIn.window) << "the hidden window must stay in the record";
    EXPECT_EQ(1, attachment.view.clientRect.left) << "client rectangle taken from a hidden window";
    EXPECT_EQ(88, attachment.view.geometry.itemCount) << "a hidden list was measured";
    EXPECT_FALSE(WatchTimersRunning()) << "a hidden Task Manager restarted the watch timers";
}

TEST_F(DiscoveryTest, VisibleTaskManagerIsMeasuredInPageCoordinates)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:30 /perpage:20"));
    ASSERT_TRUE(FindAttachedTaskManager());
    EXPECT_TRUE(WatchTimersRunning());

    const TaskManagerView& view = attachment.view;
    const ListGeometry& geometry = view.geometry;
    RECT client;
    GetClientRect(standIn.window, &client);
    EXPECT_TRUE(view.window == standIn.window);
    EXPECT_TRUE(SameRect(client, view.clientRect)) << Describe(view.clientRect);
    EXPECT_TRUE(geometry.listView == standIn.list);
    EXPECT_TRUE(geometry.page == standIn.page) << "the page is the list's parent";
    EXPECT_TRUE(geometry.header == standIn.header);

    RECT header = WindowRectIn(standIn.header, standIn.page);
    EXPECT_TRUE(SameRect(header, geometry.headerRect))
        << "expected " << Describe(header) << ", measured " << Describe(geometry.headerRect);
    RECT list = WindowRectIn(standIn.list, standIn.page);
    list.top += header.bottom - header.top;
    EXPECT_TRUE(SameRect(list, geometry.listRect))
        << "expected " << Describe(list) << ", measured " << Describe(geometry.listRect);
    EXPECT_GT(geometry.headerRect.bottom, geometry.headerRect.top);

    EXPECT_EQ(standIn.RowHeight(), geometry.itemHeight) << "row height differs from the list's own rows";
    EXPECT_EQ(30, geometry.itemCount);
    EXPECT_EQ(20, geometry.countPerPage);
}

TEST_F(DiscoveryTest, ListWithAnotherTextIsNotTheProcessList)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:10"));
    for (const wchar_t* text : {L"processes", L"Processes ", L"Prozesse"}) {
        ASSERT_TRUE(SetWindowTextW(standIn.list, text));
        ZeroMemory(&attachment.view, sizeof(attachment.view));
        EXPECT_TRUE(FindAttachedTaskManager()) << "a visible Task Manager was found and enumerated";
        EXPECT_TRUE(attachment.view.geometry.page == NULL) << "list titled " << NarrowUtf8(text) << " was taken";
        EXPECT_TRUE(attachment.view.geometry.listView == NULL);
    }
    ASSERT_TRUE(SetWindowTextW(standIn.list, L"Processes"));
    EXPECT_TRUE(FindAttachedTaskManager());
    EXPECT_TRUE(attachment.view.geometry.page == standIn.page);
}

TEST_F(DiscoveryTest, ClassNameMustMatchInCase)
{
    // A class of this program spelt in other letter case, holding the right text.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"syslistview32";
    ASSERT_TRUE(RegisterClassW(&windowClass));
    HWND impostor = CreateWindowExW(0, L"syslistview32", L"Processes", WS_CHILD, 0, 0, 10, 10, parent, NULL,
                                    GetModuleHandleW(NULL), NULL);
    ASSERT_TRUE(impostor != NULL);
    wchar_t className[64];
    GetClassNameW(impostor, className, ARRAYSIZE(className));
    ASSERT_STREQ(L"syslistview32", className);
    EXPECT_TRUE(MatchProcessList(impostor, (LPARAM)&attachment.view)) << "the enumeration must always go on";
    EXPECT_TRUE(attachment.view.geometry.listView == NULL);
    DestroyWindow(impostor);
    UnregisterClassW(L"syslistview32", GetModuleHandleW(NULL));
}

namespace {

WNDPROC listProc = NULL;

// A list with no whole row in view, as a list too small reports it
// (Wine's own list view never reports fewer than one row per page).
LRESULT CALLBACK ListWithoutRoom(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LVM_GETCOUNTPERPAGE)
        return 0;
    if (message == LVM_GETITEMSPACING)
        return MAKELONG(40, 33);
    return CallWindowProcW(listProc, list, message, wParam, lParam);
}

}  // namespace

TEST_F(DiscoveryTest, ListWithoutAWholeRowKeepsTheLastRowHeight)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    HWND page = CreateWindowExW(0, L"STATIC", L"page", WS_CHILD | WS_VISIBLE, 0, 0, 200, 200, parent, NULL, NULL,
                                NULL);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"Processes", WS_CHILD | WS_VISIBLE | LVS_REPORT, 5, 5, 150, 150,
                                page, NULL, NULL, NULL);
    ASSERT_TRUE(list != NULL);
    for (int i = 0; i < 12; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(L"row.exe");
        SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
    }
    listProc = (WNDPROC)SetWindowLongPtrW(list, GWLP_WNDPROC, (LONG_PTR)ListWithoutRoom);

    ListGeometry& geometry = attachment.view.geometry;
    geometry.listView = list;
    geometry.itemHeight = 17;
    MeasureProcessList(&geometry);
    EXPECT_TRUE(geometry.page == page);
    EXPECT_EQ(0, geometry.countPerPage);
    EXPECT_EQ(12, geometry.itemCount);
    EXPECT_EQ(17, geometry.itemHeight) << "row height taken from a list with no whole row";

    geometry.itemHeight = 0;
    MeasureProcessList(&geometry);
    EXPECT_EQ(0, geometry.itemHeight) << "after a reset the row height stays unknown";
    DestroyWindow(page);
}

TEST_F(DiscoveryTest, WithoutATitleNothingIsFound)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:3"));
    // An untitled dialog is what an empty title would find.
    ASSERT_TRUE(SetWindowTextW(standIn.window, L""));

    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring taskManager = std::wstring(system) + L"\\taskmgr.exe";
    std::wstring keptAside = std::wstring(system) + L"\\taskmgr.kept";
    ASSERT_TRUE(MoveFileW(taskManager.c_str(), keptAside.c_str()));

    wchar_t title[MAX_PATH] = L"unchanged";
    EXPECT_FALSE(LoadTaskManagerTitle(title)) << "no taskmgr.exe, yet the title was loaded";
    FillWithMarks(&attachment.view);
    EXPECT_FALSE(FindAttachedTaskManager());
    EXPECT_TRUE(attachment.view.window == NULL);

    // A taskmgr.exe without string 10003.
    ASSERT_TRUE(CopyFileW(BinPath(L"locator_target.exe").c_str(), taskManager.c_str(), FALSE));
    EXPECT_TRUE(LoadTaskManagerTitle(title));
    EXPECT_STREQ(L"", title);
    EXPECT_FALSE(FindAttachedTaskManager()) << "an empty title found " << (void*)attachment.view.window;
    EXPECT_TRUE(attachment.view.window == NULL);
    EXPECT_FALSE(WatchTimersRunning());

    DeleteFileW(taskManager.c_str());
    ASSERT_TRUE(MoveFileW(keptAside.c_str(), taskManager.c_str()));
}

TEST_F(DiscoveryTest, HungTaskManagerIsNoAnswerAndTheMeasuresStay)
{
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:12 /perpage:10"));
    ASSERT_TRUE(FindAttachedTaskManager());
    const ListGeometry before = attachment.view.geometry;
    ASSERT_EQ(12, before.itemCount);

    ASSERT_TRUE(standIn.Hang(10000)) << "the stand-in did not hang";
    EXPECT_FALSE(FindAttachedTaskManager()) << "a hung Task Manager was reported as found";
    EXPECT_TRUE(attachment.view.window == standIn.window);
    EXPECT_EQ(0, memcmp(&before, &attachment.view.geometry, sizeof(before))) << "measures changed by a hung list";
    ListGeometry geometry = before;
    geometry.itemCount = 77;
    geometry.header = NULL;
    EXPECT_FALSE(MeasureProcessList(&geometry));
    EXPECT_EQ(77, geometry.itemCount) << "a list that did not answer was measured";
    EXPECT_TRUE(geometry.header == NULL);
    EXPECT_TRUE(standIn.StillHung()) << "discovery waited for the hung Task Manager";

    ASSERT_TRUE(standIn.WaitUntilAwake(30000));
    EXPECT_TRUE(FindAttachedTaskManager()) << "not found again once awake";
    EXPECT_EQ(12, attachment.view.geometry.itemCount);
}
