#include "core/window_dpi.h"
#include "core/system_folders.h"

static const int MONITOR_EFFECTIVE_DPI = 0;  // MDT_EFFECTIVE_DPI

typedef UINT (WINAPI* GetDpiForWindowProc)(HWND);
typedef HRESULT (WINAPI* GetDpiForMonitorProc)(HMONITOR, int, UINT*, UINT*);
typedef int (WINAPI* GetSystemMetricsForDpiProc)(int, UINT);
typedef BOOL (WINAPI* SystemParametersInfoForDpiProc)(UINT, UINT, void*, UINT, UINT);
typedef BOOL (WINAPI* AdjustWindowRectExForDpiProc)(RECT*, DWORD, BOOL, DWORD, UINT);

// Looked up once, on the first call; NULL where the system lacks them.
struct DpiFunctions {
    bool looked;
    GetDpiForWindowProc getDpiForWindow;
    GetDpiForMonitorProc getDpiForMonitor;
    GetSystemMetricsForDpiProc getSystemMetricsForDpi;
    SystemParametersInfoForDpiProc systemParametersInfoForDpi;
    AdjustWindowRectExForDpiProc adjustWindowRectExForDpi;
};

static DpiFunctions dpiFunctions;

static const DpiFunctions& LookUpDpiFunctions()
{
    if (dpiFunctions.looked)
        return dpiFunctions;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32) {
        dpiFunctions.getDpiForWindow = (GetDpiForWindowProc)(void*)GetProcAddress(user32, "GetDpiForWindow");
        dpiFunctions.getSystemMetricsForDpi =
            (GetSystemMetricsForDpiProc)(void*)GetProcAddress(user32, "GetSystemMetricsForDpi");
        dpiFunctions.systemParametersInfoForDpi =
            (SystemParametersInfoForDpiProc)(void*)GetProcAddress(user32, "SystemParametersInfoForDpi");
        dpiFunctions.adjustWindowRectExForDpi =
            (AdjustWindowRectExForDpiProc)(void*)GetProcAddress(user32, "AdjustWindowRectExForDpi");
    }
    // Windows 8.1 and later; kept loaded for the rest of the run.
    HMODULE shcore = dpiFunctions.getDpiForWindow ? NULL : LoadSystemLibrary(L"shcore.dll");
    if (shcore)
        dpiFunctions.getDpiForMonitor = (GetDpiForMonitorProc)(void*)GetProcAddress(shcore, "GetDpiForMonitor");
    dpiFunctions.looked = true;
    return dpiFunctions;
}

static UINT ReadScreenDpi()
{
    HDC screen = GetDC(NULL);
    if (!screen)
        return STANDARD_DPI;
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(NULL, screen);
    return dpi > 0 ? (UINT)dpi : STANDARD_DPI;
}

UINT ReadWindowDpi(HWND window)
{
    const DpiFunctions& functions = LookUpDpiFunctions();
    UINT dpi = 0;
    if (window && functions.getDpiForWindow)
        dpi = functions.getDpiForWindow(window);
    UINT dpiY = 0;
    if (!dpi && window && functions.getDpiForMonitor &&
        FAILED(functions.getDpiForMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST),
                                          MONITOR_EFFECTIVE_DPI, &dpi, &dpiY)))
        dpi = 0;
    return dpi ? dpi : ReadScreenDpi();
}

int ScaleForDpi(int pixelsAt96, UINT dpi)
{
    return MulDiv(pixelsAt96, (int)dpi, STANDARD_DPI);
}

int ReadSystemMetricForDpi(int index, UINT dpi)
{
    const DpiFunctions& functions = LookUpDpiFunctions();
    if (functions.getSystemMetricsForDpi)
        return functions.getSystemMetricsForDpi(index, dpi);
    // The system's sizes are those of the screen's DPI.
    return MulDiv(GetSystemMetrics(index), (int)dpi, (int)ReadScreenDpi());
}

static void ScaleFont(LOGFONTW* font, UINT dpi, UINT fromDpi)
{
    font->lfHeight = MulDiv(font->lfHeight, (int)dpi, (int)fromDpi);
}

bool ReadNonClientMetricsForDpi(NONCLIENTMETRICSW* metrics, UINT dpi)
{
    const DpiFunctions& functions = LookUpDpiFunctions();
    ZeroMemory(metrics, sizeof(*metrics));
    metrics->cbSize = sizeof(*metrics);
    if (functions.systemParametersInfoForDpi &&
        functions.systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(*metrics), metrics, 0, dpi))
        return true;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(*metrics), metrics, 0))
        return false;
    UINT screenDpi = ReadScreenDpi();
    if (dpi == screenDpi)
        return true;
    ScaleFont(&metrics->lfCaptionFont, dpi, screenDpi);
    ScaleFont(&metrics->lfSmCaptionFont, dpi, screenDpi);
    ScaleFont(&metrics->lfMenuFont, dpi, screenDpi);
    ScaleFont(&metrics->lfStatusFont, dpi, screenDpi);
    ScaleFont(&metrics->lfMessageFont, dpi, screenDpi);
    return true;
}

bool AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD extendedStyle, UINT dpi)
{
    const DpiFunctions& functions = LookUpDpiFunctions();
    if (functions.adjustWindowRectExForDpi)
        return functions.adjustWindowRectExForDpi(rect, style, FALSE, extendedStyle, dpi) != FALSE;
    return AdjustWindowRectEx(rect, style, FALSE, extendedStyle) != FALSE;
}
