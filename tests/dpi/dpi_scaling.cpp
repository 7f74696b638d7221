// Every window of ours at the screen's DPI, run by run_at_dpis.sh at 96, 144
// and 192 DPI: the 96 DPI run writes down what it measured, the others
// compare what they measure with it.
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include "app/app_state.h"
#include "app/process_window.h"
#include "app/properties_window.h"
#include "app/program_icons.h"
#include "core/settings.h"
#include "core/window_dpi.h"
#include "resource.h"
#include "standin_client.h"
#include "test_support.h"

namespace {

typedef std::map<std::string, int> Measures;

UINT RunDpi() { return (UINT)atoi(getenv("TAVROWEN_TEST_DPI") ? getenv("TAVROWEN_TEST_DPI") : "0"); }

std::wstring ResultsPath() { return WidenUtf8(getenv("TAVROWEN_DPI_RESULTS") ? getenv("TAVROWEN_DPI_RESULTS") : ""); }

Measures ReadMeasuresAt96()
{
    Measures measures;
    std::istringstream lines(ReadFileText(ResultsPath().c_str()));
    std::string name;
    int value = 0;
    while (std::getline(lines, name, '\t') && lines >> value >> std::ws)
        measures[name] = value;
    return measures;
}

void WriteMeasures(const Measures& measures)
{
    FILE* file = _wfopen(ResultsPath().c_str(), L"w");
    ASSERT_TRUE(file != NULL);
    for (const auto& measure : measures)
        fprintf(file, "%s\t%d\n", measure.first.c_str(), measure.second);
    fclose(file);
}

// At 96 DPI written down; at any other, within a pixel of the 96 value scaled.
void CompareWithMeasuresAt96(const Measures& measured, UINT dpi, const Measures& at96)
{
    for (const auto& measure : measured) {
        auto known = at96.find(measure.first);
        ASSERT_TRUE(known != at96.end()) << measure.first << " was not measured at 96 DPI";
        double expected = known->second * dpi / 96.0;
        EXPECT_NEAR(expected, measure.second, 1.0) << measure.first << " at " << dpi << " DPI (96 DPI: "
                                                    << known->second << ")";
    }
}

int FontHeight(HWND control)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return metrics.tmHeight;
}

Measures MeasureProcessWindow(HWND window, bool withRowsAndSize)
{
    HWND list = GetDlgItem(window, IDC_PROCESS_LIST);
    Measures measures;
    measures["font"] = FontHeight(list);
    int columns = (int)SendMessageW((HWND)SendMessageW(list, LVM_GETHEADER, 0, 0), HDM_GETITEMCOUNT, 0, 0);
    for (int column = 0; column < columns; ++column)
        measures["column" + std::to_string(column)] = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0);
    if (!withRowsAndSize)
        return measures;
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&rect);
    measures["row"] = rect.bottom - rect.top;
    GetWindowRect(GetDlgItem(window, IDC_PROCESS_FILTER), &rect);
    measures["filter"] = rect.bottom - rect.top;
    // As small as it goes.
    SetWindowPos(window, NULL, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(window, &rect);
    measures["minimum width"] = rect.right;
    measures["minimum height"] = rect.bottom;
    return measures;
}

// The icon's pixels are those of the image of its very size in the program's .ico.
void ExpectIconFromExactImage(HICON icon, int size, const char* what)
{
    ICONINFO info = {};
    ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << what;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(size, bitmap.bmWidth) << what << ": loaded at another size";
    HMODULE module = GetModuleHandleW(NULL);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDI_TAVROWEN), RT_GROUP_ICON);
    int id = LookupIconIdFromDirectoryEx((BYTE*)LockResource(LoadResource(module, group)), TRUE, size, size,
                                         LR_DEFAULTCOLOR);
    HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
    HICON exact = CreateIconFromResourceEx((BYTE*)LockResource(LoadResource(module, image)),
                                           SizeofResource(module, image), TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
    ICONINFO exactInfo = {};
    ASSERT_TRUE(exact && GetIconInfo(exact, &exactInfo)) << what;
    BITMAP exactBitmap = {};
    GetObjectW(exactInfo.hbmColor, sizeof(exactBitmap), &exactBitmap);
    EXPECT_EQ(size, exactBitmap.bmWidth) << what << ": the .ico has no image of " << size << " pixels";
    std::vector<DWORD> pixels(size * size), exactPixels(size * size);
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB};
    HDC screen = GetDC(NULL);
    GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS);
    GetDIBits(screen, exactInfo.hbmColor, 0, size, exactPixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    EXPECT_TRUE(pixels == exactPixels) << what << ": not the " << size << " pixel image";
    for (HBITMAP bitmapHandle : {info.hbmColor, info.hbmMask, exactInfo.hbmColor, exactInfo.hbmMask})
        DeleteObject(bitmapHandle);
    DestroyIcon(exact);
}

// This process's Properties window moved from `dpi` to the other DPI of 96
// and 144: its six Modules columns in proportion, saved at 96 DPI when it closes.
void ExpectModuleColumnsFollowADpiChange(UINT dpi)
{
    ProcessRow row = {};
    row.processId = GetCurrentProcessId();
    HWND properties = ShowPropertiesWindow(NULL, &row);
    HWND modules = GetDlgItem(properties, IDC_PROPERTIES_MODULES);
    int before[6];
    for (int column = 0; column < 6; ++column)
        before[column] = (int)SendMessageW(modules, LVM_GETCOLUMNWIDTH, column, 0);
    UINT other = dpi == 96 ? 144 : 96;
    RECT suggested = {20, 20, 20 + 600, 20 + 500};
    SendMessageW(properties, WM_DPICHANGED, MAKEWPARAM(other, other), (LPARAM)&suggested);
    for (int column = 0; column < 6; ++column)
        EXPECT_NEAR(before[column] * (double)other / dpi, (int)SendMessageW(modules, LVM_GETCOLUMNWIDTH, column, 0), 1.0)
            << "module column " << column;
    DestroyWindow(properties);
    DWORD saved[2 + 2 * 6] = {}, bytes = sizeof(saved);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, settingsKeyPath, L"ModuleListColumns", RRF_RT_REG_BINARY,
                                          NULL, saved, &bytes)) << "the Modules layout was not saved";
    for (int column = 0; column < 6; ++column)
        EXPECT_NEAR(before[column] * 96.0 / dpi, (int)saved[1 + 6 + column], 1.0) << "saved module column " << column;
}

bool HasText(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Dpi, EveryWindowAndIconFollowsTheScreensDpi)
{
    UINT dpi = RunDpi();
    ASSERT_NE(0u, dpi) << "run by run_at_dpis.sh";
    ASSERT_EQ(dpi, ReadWindowDpi(NULL)) << "the prefix is not at the DPI asked for";
    Measures at96 = dpi == 96 ? Measures() : ReadMeasuresAt96();

    // The Running Processes window: fonts, rows, filter, columns and minimum size.
    ShowProcessWindow();
    HWND window = ProcessWindowHandle();
    ASSERT_TRUE(window != NULL);
    PumpMessagesFor(300);
    Measures measured = MeasureProcessWindow(window, true);
    EXPECT_GT(measured["row"], 0) << "no row listed";

    // Its icons, the tray's and the rows'.
    int small = GetSystemMetrics(SM_CXSMICON);
    int large = GetSystemMetrics(SM_CXICON);
    EXPECT_EQ(ScaleForDpi(16, dpi), small);
    ExpectIconFromExactImage((HICON)SendMessageW(window, WM_GETICON, ICON_SMALL, 0), small, "window's small icon");
    ExpectIconFromExactImage((HICON)SendMessageW(window, WM_GETICON, ICON_BIG, 0), large, "window's large icon");
    HICON trayIcon = LoadTrayIcon();
    ExpectIconFromExactImage(trayIcon, small, "tray icon");
    DestroyIcon(trayIcon);
    int rowIconWidth = 0, rowIconHeight = 0;
    ImageList_GetIconSize((HIMAGELIST)SendMessageW(GetDlgItem(window, IDC_PROCESS_LIST), LVM_GETIMAGELIST,
                                                   LVSIL_SMALL, 0), &rowIconWidth, &rowIconHeight);
    EXPECT_EQ(small, rowIconWidth) << "row icons";

    // Moved to a 96 DPI monitor: the suggested rectangle, and 96 DPI's font and columns.
    if (dpi != 96) {
        RECT suggested = {40, 30, 40 + 700, 30 + 450};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), (LPARAM)&suggested);
        RECT now = {};
        GetWindowRect(window, &now);
        EXPECT_TRUE(EqualRect(&now, &suggested)) << "window at " << now.left << "," << now.top << " to "
                                                 << now.right << "," << now.bottom;
        CompareWithMeasuresAt96(MeasureProcessWindow(window, false), 96, at96);
    }
    CloseProcessWindow();
    ExpectModuleColumnsFollowADpiChange(dpi);

    // The strip beside the stand-in Task Manager's rows, through the real program.
    ASSERT_TRUE(SetDwordValue(HKEY_CURRENT_USER, settingsKeyPath, L"NoSplashScreen", 1));
    StandInTaskManager standIn;
    ASSERT_TRUE(standIn.Start(L"/count:30 /perpage:12"));
    PROCESS_INFORMATION program = {};
    ASSERT_TRUE(StartTavrowen(L"Tavrowen2.exe", L"", &program));
    HWND strip = NULL;
    int rows = standIn.CountPerPage();
    EXPECT_TRUE(WaitUntil([&] {
        RECT rect = {};
        strip = FindWindowExW(standIn.page, NULL, L"LinksMarlet", NULL);
        return strip && GetWindowRect(strip, &rect) && rect.bottom - rect.top == rows * standIn.RowHeight();
    }, 10000)) << "the strip does not cover the rows";
    measured["task manager row"] = standIn.RowHeight();
    RECT stripRect = {};
    GetWindowRect(strip, &stripRect);
    measured["strip width"] = stripRect.right - stripRect.left;
    EXPECT_LE(measured["strip width"], standIn.RowHeight()) << "the link icon is taller than the row";
    for (int row : {0, rows / 2, rows - 1}) {
        ClearRecordedAddresses();
        int bandTop = stripRect.top + row * standIn.RowHeight();
        ClickScreenPoint((stripRect.left + stripRect.right) / 2, bandTop + standIn.RowHeight() / 2);
        ASSERT_TRUE(WaitForRecordedAddresses(1, 20000)) << "row " << row << ": nothing opened";
        wchar_t name[32];
        swprintf(name, ARRAYSIZE(name), L"proc%02d.exe", row + 1);
        EXPECT_TRUE(ReadRecordedAddresses()[0].find(name) != std::wstring::npos)
            << "row " << row << " opened " << NarrowUtf8(ReadRecordedAddresses()[0]);
    }
    EXPECT_EQ(1u, ShutDownTavrowen(&program));

    // Both programs' manifests, as built.
    for (const wchar_t* exe : {L"Tavrowen2.exe", L"Tavrowen2Admin.exe"}) {
        HMODULE module = LoadLibraryExW(BinPath(exe).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST) : NULL;
        ASSERT_TRUE(resource != NULL) << NarrowUtf8(exe);
        std::string manifest((const char*)LockResource(LoadResource(module, resource)), SizeofResource(module, resource));
        EXPECT_TRUE(HasText(manifest, ">true/pm</dpiAware>")) << NarrowUtf8(exe);
        EXPECT_TRUE(HasText(manifest, ">PerMonitorV2, PerMonitor</dpiAwareness>")) << NarrowUtf8(exe);
        for (const char* system : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                                   "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                                   "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
            EXPECT_TRUE(HasText(manifest, system)) << NarrowUtf8(exe) << " lacks supportedOS " << system;
        FreeLibrary(module);
    }

    if (dpi == 96) {
        WriteMeasures(measured);
    } else {
        for (const char* grown : {"task manager row", "strip width"}) {
            EXPECT_GT(measured[grown], at96[grown]) << grown << " did not grow";
            measured.erase(grown);
        }
        CompareWithMeasuresAt96(measured, dpi, at96);
    }
}
