// Every text of every dialog and window fits its control in every language at
// the prefix's DPI (96; text_fit_helpers.cmake runs it at 144 and 192 too).
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <strsafe.h>
#include <memory>
#include <string>
#include "app/brand_art.h"
#include "app/process_window.h"
#include "app/properties_window.h"
#include "app/setting_names.h"
#include "app/startup_window.h"
#include "core/program_language.h"
#include "core/settings.h"
#include "core/window_dpi.h"
#include "resource.h"
#include "test_support.h"

namespace {

// The text's size in the control's own font, wrapped at the width unless it is zero.
SIZE MeasureIn(HWND control, const wchar_t* text, int wrapWidth, UINT flags)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
    RECT rect = {0, 0, wrapWidth, 0};
    DrawTextW(dc, text, -1, &rect, flags | DT_CALCRECT | DT_EXPANDTABS | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return SIZE{rect.right, rect.bottom};
}

// A static's wrapped text, or a button's line beside its box or within its edges.
void CheckControl(HWND control, const std::string& where)
{
    wchar_t className[32] = L"", text[512] = L"";
    GetClassNameW(control, className, ARRAYSIZE(className));
    GetWindowTextW(control, text, ARRAYSIZE(text));
    LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client = {};
    GetClientRect(control, &client);
    if (!text[0] || !(style & WS_VISIBLE))
        return;
    int dpi = (int)ReadWindowDpi(control), extra = 0;
    SIZE need = {};
    LONG type = style & (lstrcmpiW(className, L"Static") ? BS_TYPEMASK : SS_TYPEMASK);
    if (!lstrcmpiW(className, L"Static") && type <= SS_RIGHT)
        need = MeasureIn(control, text, client.right, (style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    else if (!lstrcmpiW(className, L"Static") && (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE))
        need = MeasureIn(control, text, 0, (style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    else if (!lstrcmpiW(className, L"Button") && type <= BS_DEFPUSHBUTTON)
        extra = 2 * MulDiv(4, dpi, 96);  // the raised edge and the focus rectangle
    else if (!lstrcmpiW(className, L"Button") && type >= BS_CHECKBOX && type <= BS_AUTORADIOBUTTON &&
             type != BS_GROUPBOX && type != BS_USERBUTTON)
        extra = MulDiv(13 + 4, dpi, 96);  // the box and the gap after it
    else
        return;
    if (extra)
        need = MeasureIn(control, text, 0, 0);
    EXPECT_TRUE(need.cx + extra <= client.right && need.cy <= client.bottom)
        << where << ", \"" << NarrowUtf8(text) << "\" at " << dpi << " DPI: needs " << need.cx + extra << "x"
        << need.cy << ", has " << client.right << "x" << client.bottom;
}

// Each shown column's default width against its title, which the header
// insets by three edges on either side.
void CheckColumns(HWND list, const std::string& where)
{
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
    EXPECT_GT(columns, 0) << where;
    for (int column = 0; column < columns; ++column) {
        wchar_t title[128] = L"";
        HDITEMW item = {};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = title;
        item.cchTextMax = ARRAYSIZE(title);
        SendMessageW(header, HDM_GETITEMW, column, (LPARAM)&item);
        int need = MeasureIn(header, title, 0, DT_NOPREFIX).cx + 6 * GetSystemMetrics(SM_CXEDGE);
        EXPECT_TRUE(item.cxy == 0 || need <= item.cxy) << where << ", column \"" << NarrowUtf8(title) << "\" at "
                                                       << ReadWindowDpi(list) << " DPI: needs " << need << ", has "
                                                       << item.cxy;
    }
}

void CheckChildren(HWND window, const std::string& where)
{
    ASSERT_TRUE(window != NULL) << where;
    PumpMessagesFor(200);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = L"";
        GetClassNameW(child, className, ARRAYSIZE(className));
        if (!lstrcmpiW(className, WC_LISTVIEWW))
            CheckColumns(child, where);
        // The splash's check box shows its box alone; its label is painted on the face.
        else if (GetDlgCtrlID(child) != IDC_SPLASH_NOSHOW)
            CheckControl(child, where);
    }
}

// The splash's lines are painted on its face, each made smaller rather than
// pass the text's right edge: the paper right of it stays bare.
void CheckSplashFace(const std::string& where)
{
    UINT dpi = ReadWindowDpi(NULL);
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP face = CreateCompatibleBitmap(screen, ScaleForDpi(SPLASH_WIDTH, dpi), ScaleForDpi(SPLASH_HEIGHT, dpi));
    HGDIOBJ old = SelectObject(dc, face);
    PaintSplashFace(dc, dpi);
    COLORREF paper = GetPixel(dc, ScaleForDpi(466, dpi), ScaleForDpi(140, dpi));
    int inked = 0;
    for (int y = ScaleForDpi(30, dpi); y < ScaleForDpi(255, dpi); ++y)
        for (int x = ScaleForDpi(462, dpi); x < ScaleForDpi(472, dpi); ++x)
            inked += GetPixel(dc, x, y) != paper;
    EXPECT_EQ(0, inked) << where << "splash face at " << dpi << " DPI: text past its right edge";
    SelectObject(dc, old);
    DeleteObject(face);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct EachLanguage : testing::Test {
    void TearDown() override { ChooseProgramLanguage(NULL); }

    // Calls check with each language's tag, each window in its default layout.
    template <typename Check> void ForEachLanguage(Check check)
    {
        int count = 0;
        const ProgramLanguageInfo* languages = ProgramLanguages(&count);
        ASSERT_EQ(13, count);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(ChooseProgramLanguage(languages[i].tag));
            for (const wchar_t* layout : {processColumnsSetting, moduleColumnsSetting, startupColumnsSetting})
                DeleteRegistryValue(HKEY_CURRENT_USER, settingsKeyPath, layout);
            check(NarrowUtf8(languages[i].tag) + ", ");
        }
    }
};

}  // namespace

TEST_F(EachLanguage, EveryDialogTemplateFitsItsTexts)
{
    ForEachLanguage([](const std::string& language) {
        const std::pair<UINT, const char*> dialogs[] = {{IDD_ABOUT, "About"}, {IDD_SEARCH, "Search"},
                                                        {IDD_SPLASH, "Splash"}};
        for (const auto& shown : dialogs) {
            HWND dialog = CreateProgramDialog(shown.first, NULL, QuietDialogProc, 0);
            CheckChildren(dialog, language + shown.second);
            DestroyWindow(dialog);
        }
        CheckSplashFace(language);
    });
}

TEST_F(EachLanguage, EveryWindowLaidOutInCodeFitsItsTextsAndColumnTitles)
{
    ForEachLanguage([](const std::string& language) {
        ShowProcessWindow();
        CheckChildren(ProcessWindowHandle(), language + "Running Processes");
        std::unique_ptr<ProcessRow> row(new ProcessRow());
        ZeroMemory(row.get(), sizeof(ProcessRow));
        row->processId = GetCurrentProcessId();
        row->shownAt = -1;
        StringCchCopyW(row->imageName, ARRAYSIZE(row->imageName), L"test_text_fit.exe");
        CheckChildren(ShowPropertiesWindow(ProcessWindowHandle(), row.get()), language + "Properties");
        CloseProcessWindow();
        ShowStartupWindow();
        CheckChildren(StartupWindowHandle(), language + "Startup Entries");
        CloseStartupWindow();
    });
}
