// Dark mode: the Running Processes window follows "AppsUseLightTheme" on a
// Windows 10 build that has dark title bars, and its setting change.
#include <windows.h>
#include <gtest/gtest.h>
#include <vector>
#include "app/process_window.h"
#include "core/seams.h"
#include "resource.h"
#include "test_support.h"

namespace {

const wchar_t personalizePath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
DWORD reportedBuild;
std::vector<DWORD> attributes;  // every DwmSetWindowAttribute attribute, in order
BOOL lastDark = -1;

BOOL WINAPI ReportWindows10(LPOSVERSIONINFOW version)
{
    version->dwMajorVersion = 10;
    version->dwMinorVersion = 0;
    version->dwBuildNumber = reportedBuild;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

HRESULT WINAPI RecordAttribute(HWND, DWORD attribute, LPCVOID value, DWORD size)
{
    attributes.push_back(attribute);
    lastDark = size == sizeof(BOOL) ? *(const BOOL*)value : -1;
    return S_OK;
}

void SetAppsLight(DWORD light)
{
    HKEY key = NULL;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, personalizePath, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"AppsUseLightTheme", 0, REG_DWORD, (const BYTE*)&light, sizeof(light));
    RegCloseKey(key);
}

// Of the list's rows area, the share of dark pixels and whether any is light (text).
void MeasureList(HWND list, double* darkShare, bool* anyLight)
{
    RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpMessagesFor(300);
    RECT client, header;
    GetClientRect(list, &client);
    GetWindowRect((HWND)SendMessageW(list, 0x101F /* LVM_GETHEADER */, 0, 0), &header);
    HDC dc = GetDC(list);
    int dark = 0, all = 0;
    *anyLight = false;
    for (int y = header.bottom - header.top + 2; y < client.bottom; y += 3) {
        // Right of the rows' icons, whose own colours say nothing.
        for (int x = GetSystemMetrics(SM_CXSMICON) + 8; x < client.right; x += 3) {
            COLORREF pixel = GetPixel(dc, x, y);
            int luminance = (GetRValue(pixel) * 3 + GetGValue(pixel) * 6 + GetBValue(pixel)) / 10;
            dark += luminance < 64;
            *anyLight = *anyLight || luminance > 200;
            ++all;
        }
    }
    ReleaseDC(list, dc);
    *darkShare = all ? (double)dark / all : 0;
}

class DarkMode : public testing::Test {
protected:
    void SetUp() override
    {
        seams.getVersion = ReportWindows10;
        seams.setWindowAttribute = RecordAttribute;
        attributes.clear();
        lastDark = -1;
    }
    void TearDown() override
    {
        CloseProcessWindow();
        SetAppsLight(1);
    }
    HWND Open()
    {
        ShowProcessWindow();
        PumpMessagesFor(500);
        return ProcessWindowHandle();
    }
};

TEST_F(DarkMode, ProcessWindowGoesDarkAndBackLightWithTheSetting)
{
    reportedBuild = 19045;
    SetAppsLight(0);
    HWND window = Open();
    ASSERT_TRUE(window != NULL);
    HWND list = GetDlgItem(window, IDC_PROCESS_LIST);
    double darkShare = 0;
    bool anyLight = false;
    MeasureList(list, &darkShare, &anyLight);
    EXPECT_GT(darkShare, 0.5) << "the list's background is dark";
    EXPECT_TRUE(anyLight) << "the list's text is light";
    ASSERT_FALSE(attributes.empty());
    EXPECT_EQ(attributes.back(), 20u);
    EXPECT_EQ(lastDark, TRUE);

    SetAppsLight(1);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM)L"ImmersiveColorSet", SMTO_ABORTIFHUNG, 2000,
                        &answer);
    MeasureList(list, &darkShare, &anyLight);
    EXPECT_LT(darkShare, 0.1) << "the list is light again";
    EXPECT_EQ(lastDark, FALSE) << "the title bar is light again";
}

TEST_F(DarkMode, TitleBarAttributeFollowsTheBuildAndOlderWindowsIsUntouched)
{
    SetAppsLight(0);
    reportedBuild = 17763;
    ASSERT_TRUE(Open() != NULL);
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0], 19u) << "builds before 18985 know the attribute as 19";
    CloseProcessWindow();

    attributes.clear();
    reportedBuild = 17134;
    HWND window = Open();
    ASSERT_TRUE(window != NULL);
    EXPECT_TRUE(attributes.empty()) << "Windows 10 1803 has no dark title bar";
    double darkShare = 1;
    bool anyLight = false;
    MeasureList(GetDlgItem(window, IDC_PROCESS_LIST), &darkShare, &anyLight);
    EXPECT_LT(darkShare, 0.1);
}

}  // namespace
