// The one list view, over a model of its own: the saved layout (hidden
// columns, widths across DPIs, a damaged value), type-ahead, the selection
// kept by key as rows come and go, other rows drawn without the header;
// and the processes' order by their notes.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "app/app_state.h"
#include "app/list_view.h"
#include "app/process_list.h"
#include "core/settings.h"
#include "resource.h"
#include "test_support.h"

namespace {

const wchar_t layoutValue[] = L"TestListColumns";

struct Model {
    std::vector<std::wstring> names;  // a row's key is its place here plus one
    std::vector<int> shown;
};

int CountShown(const void* model) { return (int)((const Model*)model)->shown.size(); }
ULONG_PTR KeyOfShown(const void* model, int index) { return ((const Model*)model)->shown[index] + 1; }
int FindKey(const void* model, ULONG_PTR key)
{
    const std::vector<int>& shown = ((const Model*)model)->shown;
    auto at = std::find(shown.begin(), shown.end(), (int)key - 1);
    return at == shown.end() ? -1 : (int)(at - shown.begin());
}
void ShowMatching(void* model, const wchar_t* filter, DWORD, int, bool descending)
{
    Model* rows = (Model*)model;
    rows->shown.clear();
    for (int i = 0; i < (int)rows->names.size(); ++i)
        if (rows->names[i].find(filter) != std::wstring::npos)
            rows->shown.push_back(i);
    std::sort(rows->shown.begin(), rows->shown.end(),
              [&](int a, int b) { return descending ? rows->names[b] < rows->names[a] : rows->names[a] < rows->names[b]; });
}
const wchar_t* CellText(const void* model, int index, int, wchar_t*, size_t)
{
    const Model* rows = (const Model*)model;
    return rows->names[rows->shown[index]].c_str();
}
int NoIcon(const void*, int) { return I_IMAGENONE; }
int FindName(const void* model, const wchar_t* prefix, int start)
{
    const Model* rows = (const Model*)model;
    int count = (int)rows->shown.size();
    for (int n = 0; n < count; ++n) {
        int index = (start + n) % count;
        if (rows->names[rows->shown[index]].compare(0, wcslen(prefix), prefix) == 0)
            return index;
    }
    return -1;
}
const ListModelCalls calls = {CountShown, KeyOfShown, FindKey, ShowMatching, CellText, NoIcon, FindName};
const ListColumn columns[] = {{IDS_COLUMN_PROCESS, 100, LVCFMT_LEFT},
                              {IDS_COLUMN_PID, 50, LVCFMT_RIGHT},
                              {IDS_COLUMN_NOTES, 200, LVCFMT_LEFT}};

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        ListView* view = (ListView*)GetWindowLongPtrW(window, GWLP_USERDATA);
        LRESULT result = 0;
        int sorted = -1;
        if (view && HandleListNotification(view, (const NMHDR*)lParam, &result, &sorted))
            return result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class OneListView : public testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = appState.instance;
        windowClass.lpszClassName = L"ListViewTestParent";
        RegisterClassW(&windowClass);
        parent = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500,
                                 300, NULL, NULL, appState.instance, NULL);
        model.names = {L"alpha", L"bravo", L"charlie", L"delta", L"echo"};
        Open(96);
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        DeleteRegistryTree(HKEY_CURRENT_USER, settingsKeyPath);
    }
    void Open(UINT dpi)
    {
        if (view.list)
            DestroyWindow(view.list);
        view = ListView();
        view.columns = columns;
        view.columnCount = ARRAYSIZE(columns);
        view.layoutSetting = layoutValue;
        view.calls = &calls;
        view.model = &model;
        ASSERT_TRUE(CreateListView(&view, parent, 1, appState.instance, dpi));
        SetWindowLongPtrW(parent, GWLP_USERDATA, (LONG_PTR)&view);
        MoveWindow(view.list, 0, 0, 480, 260, TRUE);
        ShowListRows(&view, L"", 0);
    }
    int Width(int column) { return (int)SendMessageW(view.list, LVM_GETCOLUMNWIDTH, column, 0); }
    std::wstring SelectedName()
    {
        int index = SelectedListIndex(&view);
        return index < 0 ? L"" : model.names[model.shown[index]];
    }
    HWND parent = NULL;
    Model model;
    ListView view;
};

TEST_F(OneListView, TheLayoutKeepsHiddenColumnsAndWidthsAcrossDpisAndIgnoresADamagedValue)
{
    SendMessageW(view.list, LVM_SETCOLUMNWIDTH, 2, 180);
    ToggleListColumn(&view, 96, 2);
    EXPECT_EQ(0, Width(2)) << "hidden";
    ToggleListColumn(&view, 96, 0);
    EXPECT_NE(0, Width(0)) << "the first column always shows";
    ToggleListColumn(&view, 96, 2);
    EXPECT_EQ(180, Width(2)) << "shown again at its width before";

    // Saved at 144 DPI, opened at 96 and at 192: the same width for the eye.
    SendMessageW(view.list, LVM_SETCOLUMNWIDTH, 1, 90);
    ToggleListColumn(&view, 144, 2);
    Open(96);
    EXPECT_EQ(60, Width(1));
    EXPECT_EQ(0, Width(2)) << "still hidden";
    Open(192);
    EXPECT_EQ(120, Width(1));
    ToggleListColumn(&view, 192, 2);
    EXPECT_EQ(240, Width(2)) << "its width before hiding, at this DPI";

    // Each damage alone: the whole value is passed over.
    DWORD good[] = {3, 2, 0, 1, 100, 50, 200, 0};
    std::vector<std::vector<DWORD>> damaged = {
        {4, 2, 0, 1, 100, 50, 200, 0},   // another column count
        {3, 2, 2, 1, 100, 50, 200, 0},   // a column twice in the order
        {3, 2, 0, 3, 100, 50, 200, 0},   // a column that is not there
        {3, 2, 0, 1, 100, 9999, 200, 0}, // a width past any screen
        {3, 2, 0, 1, 100, 50, 200, 1},   // the first column hidden
        {3, 2, 0, 1, 100, 50, 200},      // too short
    };
    ASSERT_TRUE(WriteBinarySetting(layoutValue, good, sizeof(good)));
    Open(96);
    int order[3] = {};
    SendMessageW(view.list, LVM_GETCOLUMNORDERARRAY, 3, (LPARAM)order);
    EXPECT_EQ(2, order[0]) << "a sound value is taken";
    for (size_t i = 0; i < damaged.size(); ++i) {
        ASSERT_TRUE(WriteBinarySetting(layoutValue, damaged[i].data(), (DWORD)(damaged[i].size() * sizeof(DWORD))));
        Open(96);
        SendMessageW(view.list, LVM_GETCOLUMNORDERARRAY, 3, (LPARAM)order);
        EXPECT_EQ(0, order[0]) << "damage " << i;
        EXPECT_EQ(50, Width(1)) << "damage " << i;
    }
    // Saved when the list had two columns: kept, the new one after them.
    DWORD older[] = {2, 1, 0, 80, 40, 0};
    ASSERT_TRUE(WriteBinarySetting(layoutValue, older, sizeof(older)));
    Open(96);
    SendMessageW(view.list, LVM_GETCOLUMNORDERARRAY, 3, (LPARAM)order);
    EXPECT_TRUE(order[0] == 1 && order[1] == 0 && order[2] == 2 && Width(0) == 80 && Width(2) == 200);
}

TEST_F(OneListView, TypingFindsARowAndTheSelectionFollowsItsRowAsRowsComeAndGo)
{
    SetFocus(view.list);
    SelectListItem(&view, 0);
    SendMessageW(view.list, WM_CHAR, L'd', 1);
    EXPECT_EQ(L"delta", SelectedName());
    SendMessageW(view.list, WM_CHAR, L'e', 1);
    EXPECT_EQ(L"delta", SelectedName()) << "\"de\" is still delta";

    // Reversed, filtered and back: delta stays selected and focused wherever it goes.
    ChangeListSort(&view, 0);
    ShowListRows(&view, L"", 0);
    EXPECT_EQ(1, SelectedListIndex(&view));
    model.names.push_back(L"zulu");
    ShowListRows(&view, L"l", 0);
    EXPECT_EQ(L"delta", SelectedName());
    EXPECT_EQ(SelectedListIndex(&view), (int)SendMessageW(view.list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED));
    ShowListRows(&view, L"o", 0);
    EXPECT_EQ(-1, SelectedListIndex(&view)) << "hidden by the filter";
    EXPECT_EQ(2, (int)SendMessageW(view.list, LVM_GETITEMCOUNT, 0, 0)) << "bravo and echo";

    // Other rows draw the rows again, not the header above them.
    UpdateWindow(parent);
    ShowListRows(&view, L"", 0);
    EXPECT_TRUE(GetUpdateRect(view.list, NULL, FALSE)) << "the rows are not drawn again";
    EXPECT_FALSE(GetUpdateRect((HWND)SendMessageW(view.list, LVM_GETHEADER, 0, 0), NULL, FALSE)) << "the header is";
}

TEST(ProcessOrder, ByNotesFewerFirstThenByTheirTextThenByName)
{
    ProcessRow rows[4] = {};
    const wchar_t* names[] = {L"b.exe", L"a.exe", L"c.exe", L"d.exe"};
    const int counts[] = {1, 0, 2, 1};
    const wchar_t* cells[] = {L"1: Is in a folder", L"", L"2: Claims", L"1: Has a name"};
    for (int i = 0; i < 4; ++i) {
        wcscpy(rows[i].imageName, names[i]);
        rows[i].noteCount = counts[i];
        wcscpy(rows[i].notesCell, cells[i]);
        rows[i].processId = 10 + i;
    }
    std::vector<const ProcessRow*> order = {&rows[0], &rows[1], &rows[2], &rows[3]};
    std::sort(order.begin(), order.end(),
              [](const ProcessRow* a, const ProcessRow* b) { return CompareProcessRows(a, b, COLUMN_NOTES) < 0; });
    std::wstring seen;
    for (const ProcessRow* row : order)
        seen += std::wstring(row->imageName) + L" ";
    EXPECT_EQ(L"a.exe d.exe b.exe c.exe ", seen);
}

}  // namespace

static int CompareTens(const void* model, int a, int b, int column)
{
    const int* keys = (const int*)model;
    return keys[a] / 10 == keys[b] / 10 ? 0 : (keys[a] / 10 < keys[b] / 10 ? -1 : 1);
}

TEST(ListRowOrder, SortsEitherWayAndKeepsEqualRowsInTheirOrder)
{
    for (int count : {0, 1, 2, 7, 64, 1000}) {
        std::vector<int> keys(count), shown(count);
        for (int i = 0; i < count; ++i) {
            keys[i] = (i * 7919) % 997;
            shown[i] = i;
        }
        for (bool descending : {false, true}) {
            std::vector<int> expected = shown;
            std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                int order = CompareTens(keys.data(), a, b, 0);
                return descending ? order > 0 : order < 0;
            });
            std::vector<int> sorted = shown;
            SortListRows(sorted.data(), count, CompareTens, keys.data(), 0, descending);
            EXPECT_EQ(expected, sorted) << count << " rows, descending " << descending;
        }
    }
}
