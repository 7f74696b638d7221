#include "app/dark_mode.h"
#include <commctrl.h>
#include "core/seams.h"
#include "core/system_folders.h"
#include "core/scoped_handles.h"

// Windows 10 1809, the first build that draws dark title bars.
static const DWORD FIRST_DARK_BUILD = 17763;
// DWMWA_USE_IMMERSIVE_DARK_MODE is 20 from build 18985 and was 19 before it.
static const DWORD RENUMBERED_ATTRIBUTE_BUILD = 18985;
static const DWORD DARK_TITLE_ATTRIBUTE = 20;
static const DWORD EARLY_DARK_TITLE_ATTRIBUTE = 19;
static const COLORREF DARK_BACKGROUND = RGB(0x20, 0x20, 0x20);
static const COLORREF LIGHT_TEXT = RGB(0xF0, 0xF0, 0xF0);
static const wchar_t personalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
// Window properties: the window is dark; a list view's colours from before.
static const wchar_t darkProperty[] = L"TavrowenDark";
static const wchar_t listBackgroundProperty[] = L"TavrowenListBack";
static const wchar_t listTextBackgroundProperty[] = L"TavrowenListTextBack";
static const wchar_t listTextProperty[] = L"TavrowenListText";

static const ULONG_PTR DIALOG_CLASS_ATOM = 32770;

typedef HRESULT(WINAPI* SetWindowThemeProc)(HWND, LPCWSTR, LPCWSTR);

static HBRUSH darkBrush;

static DWORD ReadBuildNumber()
{
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!seams.getVersion(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 10)
        return 0;
    return version.dwBuildNumber;
}

static bool IsHighContrastOn()
{
    HIGHCONTRASTW contrast;
    ZeroMemory(&contrast, sizeof(contrast));
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

static bool AreAppsSetToDark()
{
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, personalizeKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD value = 1;
    DWORD type = 0;
    DWORD size = sizeof(value);
    LONG status = RegQueryValueExW(key.Get(), L"AppsUseLightTheme", NULL, &type, (BYTE*)&value, &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) && value == 0;
}

bool IsDarkModeWanted()
{
    return ReadBuildNumber() >= FIRST_DARK_BUILD && !IsHighContrastOn() && AreAppsSetToDark();
}

// The visual style's dark variant ("DarkMode_Explorer" and the like, a theme
// class name) where the style has one, or the default again with NULL.
static void UseThemeName(HWND window, const wchar_t* name)
{
    HMODULE uxtheme = LoadSystemLibrary(L"uxtheme.dll");
    if (!uxtheme)
        return;
    SetWindowThemeProc setTheme = (SetWindowThemeProc)(void*)GetProcAddress(uxtheme, "SetWindowTheme");
    if (setTheme)
        setTheme(window, name, NULL);
    FreeLibrary(uxtheme);
}

// A list view draws its own background and text: dark colours in, and the
// ones it had before back out.
static void ColorListView(HWND list, bool dark)
{
    if (dark) {
        if (!GetPropW(list, darkProperty)) {
            SetPropW(list, listBackgroundProperty, (HANDLE)(UINT_PTR)SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
            SetPropW(list, listTextBackgroundProperty,
                     (HANDLE)(UINT_PTR)SendMessageW(list, LVM_GETTEXTBKCOLOR, 0, 0));
            SetPropW(list, listTextProperty, (HANDLE)(UINT_PTR)SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0));
            SetPropW(list, darkProperty, (HANDLE)1);
        }
        SendMessageW(list, LVM_SETBKCOLOR, 0, DARK_BACKGROUND);
        SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, DARK_BACKGROUND);
        SendMessageW(list, LVM_SETTEXTCOLOR, 0, LIGHT_TEXT);
    } else if (GetPropW(list, darkProperty)) {
        SendMessageW(list, LVM_SETBKCOLOR, 0, (LPARAM)(UINT_PTR)RemovePropW(list, listBackgroundProperty));
        SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, (LPARAM)(UINT_PTR)RemovePropW(list, listTextBackgroundProperty));
        SendMessageW(list, LVM_SETTEXTCOLOR, 0, (LPARAM)(UINT_PTR)RemovePropW(list, listTextProperty));
        RemovePropW(list, darkProperty);
    }
}

static BOOL CALLBACK ColorChild(HWND child, LPARAM dark)
{
    wchar_t className[32];
    if (!GetClassNameW(child, className, ARRAYSIZE(className)))
        return TRUE;
    if (lstrcmpiW(className, WC_LISTVIEWW) == 0)
        ColorListView(child, dark != 0);
    // The header has a dark style of its own; edits and buttons take their
    // scroll bars and faces from Explorer's.
    const wchar_t* theme = lstrcmpiW(className, WC_HEADERW) == 0 ? L"DarkMode_ItemsView" : L"DarkMode_Explorer";
    UseThemeName(child, dark ? theme : NULL);
    return TRUE;
}

void ApplyColorMode(HWND window)
{
    bool dark = IsDarkModeWanted();
    // Light and never dark: left exactly as the system draws it.
    if (!dark && !GetPropW(window, darkProperty))
        return;
    if (dark && !darkBrush)
        darkBrush = CreateSolidBrush(DARK_BACKGROUND);
    if (dark && !darkBrush)
        return;
    if (dark)
        SetPropW(window, darkProperty, (HANDLE)1);
    else
        RemovePropW(window, darkProperty);
    BOOL useDark = dark ? TRUE : FALSE;
    DWORD attribute =
        ReadBuildNumber() >= RENUMBERED_ATTRIBUTE_BUILD ? DARK_TITLE_ATTRIBUTE : EARLY_DARK_TITLE_ATTRIBUTE;
    seams.setWindowAttribute(window, attribute, &useDark, sizeof(useDark));
    EnumChildWindows(window, ColorChild, dark);
    RedrawWindow(window, NULL, NULL, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

static bool IsColorSetChange(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOLORCHANGE)
        return true;
    if (message != WM_SETTINGCHANGE)
        return false;
    return wParam == SPI_SETHIGHCONTRAST || (lParam && lstrcmpiW((LPCWSTR)lParam, L"ImmersiveColorSet") == 0);
}

bool HandleColorModeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (IsColorSetChange(message, wParam, lParam)) {
        ApplyColorMode(window);
        return false;
    }
    // The property is asked only for the messages that paint.
    if (!darkBrush)
        return false;
    switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORLISTBOX:
        if (!GetPropW(window, darkProperty))
            return false;
        SetTextColor((HDC)wParam, LIGHT_TEXT);
        SetBkColor((HDC)wParam, DARK_BACKGROUND);
        *result = (LRESULT)darkBrush;
        return true;
    case WM_ERASEBKGND: {
        // A dialog paints its background with the WM_CTLCOLORDLG brush itself.
        RECT client;
        if (!GetPropW(window, darkProperty) || GetClassLongPtrW(window, GCW_ATOM) == DIALOG_CLASS_ATOM ||
            !GetClientRect(window, &client))
            return false;
        FillRect((HDC)wParam, &client, darkBrush);
        *result = 1;
        return true;
    }
    }
    return false;
}
