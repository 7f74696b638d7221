// Every text of every dialog and window fits its control, in every language,
// at the DPI the prefix was set to (96 here; text_fit_helpers.cmake runs the
// same program at 144 and 192).
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <strsafe.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "app/dialogs.h"
#include "app/process_list.h"
#include "app/process_window.h"
#include "app/properties_window.h"
#include "app/setting_names.h"
#include "app/startup_window.h"
#include "core/program_language.h"
#include "core/settings.h"
#include "resource.h"
#include "test_support.h"

namespace {

UINT ScreenDpi()
{
    HDC screen = GetDC(NULL);
    UINT dpi = (UINT)GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(NULL, screen);
    return dpi;
}

std::wstring TextOf(HWND control)
{
    std::wstring text(GetWindowTextLengthW(control) + 1, L'\0');
    text.resize(GetWindowTextW(control, &text[0], (int)text.size()));
    return text;
}

// The text's size in the control's own font, wrapped at the given width when it is not zero.
SIZE MeasureIn(HWND control, const std::wstring& text, int wrapWidth, UINT flags)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
    RECT rect = {0, 0, wrapWidth, 0};
    DrawTextW(dc, text.c_str(), (int)text.size(), &rect,
              flags | DT_CALCRECT | DT_EXPANDTABS | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    SIZE size = {rect.right - rect.left, rect.bottom - rect.top};
    return size;
}

class Fitting {
public:
    Fitting(const wchar_t* language, const char* window) : language_(language), window_(window), dpi_(ScreenDpi()) {}

    // What a static or a button needs against its client rectangle.
    void CheckControl(HWND control)
    {
        wchar_t className[32] = L"";
        GetClassNameW(control, className, ARRAYSIZE(className));
        std::wstring text = TextOf(control);
        LONG style = GetWindowLongW(control, GWL_STYLE);
        RECT client = {};
        GetClientRect(control, &client);
        if (text.empty() || !(style & WS_VISIBLE))
            return;
        if (!lstrcmpiW(className, L"Static"))
            CheckStatic(control, text, style, client);
        else if (!lstrcmpiW(className, L"Button"))
            CheckButton(control, text, style, client);
    }

    // Each column's default width against its title.
    void CheckColumns(HWND list)
    {
        HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
        int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
        ASSERT_GT(columns, 0) << window_;
        for (int column = 0; column < columns; ++column) {
            wchar_t title[128] = L"";
            HDITEMW item = {};
            item.mask = HDI_TEXT | HDI_WIDTH;
            item.pszText = title;
            item.cchTextMax = ARRAYSIZE(title);
            SendMessageW(header, HDM_GETITEMW, column, (LPARAM)&item);
            if (item.cxy == 0)
                continue;  // hidden
            // The header leaves three edges on each side of a title.
            int need = MeasureIn(header, title, 0, DT_NOPREFIX).cx + 6 * GetSystemMetrics(SM_CXEDGE);
            Expect(need <= item.cxy, "column \"" + NarrowUtf8(title) + "\"", need, item.cxy, 0, 0);
        }
    }

private:
    void CheckStatic(HWND control, const std::wstring& text, LONG style, const RECT& client)
    {
        LONG type = style & SS_TYPEMASK;
        UINT flags = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
            SIZE size = MeasureIn(control, text, client.right, flags);
            Expect(size.cx <= client.right && size.cy <= client.bottom, "\"" + NarrowUtf8(text) + "\"", size.cx,
                   client.right, size.cy, client.bottom);
        } else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE) {
            SIZE size = MeasureIn(control, text, 0, flags);
            Expect(size.cx <= client.right && size.cy <= client.bottom, "\"" + NarrowUtf8(text) + "\"", size.cx,
                   client.right, size.cy, client.bottom);
        }
    }

    void CheckButton(HWND control, const std::wstring& text, LONG style, const RECT& client)
    {
        LONG type = style & BS_TYPEMASK;
        SIZE size = MeasureIn(control, text, 0, 0);
        int room = client.right, need = size.cx;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
            // The raised edge and the focus rectangle on each side.
            need += 2 * MulDiv(4, dpi_, 96);
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            need += MulDiv(13, dpi_, 96) + MulDiv(4, dpi_, 96);
        } else {
            return;
        }
        Expect(need <= room && size.cy <= client.bottom, "\"" + NarrowUtf8(text) + "\"", need, room, size.cy,
               client.bottom);
    }

    void Expect(bool fits, const std::string& control, int needWidth, int width, int needHeight, int height)
    {
        EXPECT_TRUE(fits) << NarrowUtf8(language_) << ", " << window_ << ", " << control << " at " << dpi_
                          << " DPI: needs " << needWidth << "x" << needHeight << ", has " << width << "x" << height;
    }

    const wchar_t* language_;
    const char* window_;
    UINT dpi_;
};

void CheckChildren(HWND window, Fitting* fitting)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        fitting->CheckControl(child);
        wchar_t className[32] = L"";
        GetClassNameW(child, className, ARRAYSIZE(className));
        if (!lstrcmpiW(className, WC_LISTVIEWW))
            fitting->CheckColumns(child);
    }
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct EachLanguage : testing::Test {
    void TearDown() override { ChooseProgramLanguage(NULL); }

    template <typename Check> void ForEachLanguage(Check check)
    {
        int count = 0;
        const ProgramLanguageInfo* languages = ProgramLanguages(&count);
        ASSERT_EQ(13, count);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(ChooseProgramLanguage(languages[i].tag)) << NarrowUtf8(languages[i].tag);
            ASSERT_EQ(languages[i].id, ProgramLanguage());
            // The default widths: a layout the window saved in the last language would stand instead.
            for (const wchar_t* layout : {processColumnsSetting, moduleColumnsSetting, startupColumnsSetting})
                DeleteRegistryValue(HKEY_CURRENT_USER, settingsKeyPath, layout);
            check(languages[i].tag);
        }
    }
};

}  // namespace

TEST_F(EachLanguage, EveryDialogTemplateFitsItsTexts)
{
    struct Dialog {
        UINT id;
        const char* name;
    };
    ForEachLanguage([](const wchar_t* tag) {
        for (Dialog dialog : {Dialog{IDD_ABOUT, "About"}, Dialog{IDD_SEARCH, "Search"}, Dialog{IDD_SPLASH, "Splash"}}) {
            HWND shown = CreateProgramDialog(dialog.id, NULL, QuietDialogProc, 0);
            ASSERT_TRUE(shown != NULL) << NarrowUtf8(tag) << " " << dialog.name;
            Fitting fitting(tag, dialog.name);
            for (HWND child = GetWindow(shown, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                // The splash's check box shows its box alone; its label is painted on the face.
                if (GetDlgCtrlID(child) != IDC_SPLASH_NOSHOW)
                    fitting.CheckControl(child);
            }
            DestroyWindow(shown);
        }
    });
}

TEST_F(EachLanguage, EveryWindowLaidOutInCodeFitsItsTextsAndColumnTitles)
{
    ForEachLanguage([](const wchar_t* tag) {
        ShowProcessWindow();
        HWND processes = ProcessWindowHandle();
        ASSERT_TRUE(processes != NULL);
        PumpMessagesFor(200);
        Fitting processFitting(tag, "Running Processes");
        CheckChildren(processes, &processFitting);

        std::unique_ptr<ProcessRow> row(new ProcessRow());
        ZeroMemory(row.get(), sizeof(ProcessRow));
        row->processId = GetCurrentProcessId();
        row->shownAt = -1;
        StringCchCopyW(row->imageName, ARRAYSIZE(row->imageName), L"test_text_fit.exe");
        HWND properties = ShowPropertiesWindow(processes, row.get());
        ASSERT_TRUE(properties != NULL);
        PumpMessagesFor(200);
        Fitting propertiesFitting(tag, "Properties");
        CheckChildren(properties, &propertiesFitting);
        CloseProcessWindow();

        ShowStartupWindow();
        HWND startup = StartupWindowHandle();
        ASSERT_TRUE(startup != NULL);
        PumpMessagesFor(200);
        Fitting startupFitting(tag, "Startup Entries");
        CheckChildren(startup, &startupFitting);
        CloseStartupWindow();
        PumpMessagesFor(50);
    });
}
