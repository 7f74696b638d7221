#include "app/program_icons.h"
#include "app/app_state.h"
#include "core/window_class.h"
#include "core/window_dpi.h"
#include "resource.h"

static const int ICON_METRIC_SMALL = 0;  // LIM_SMALL

HICON LoadProgramIcon(int sizeMetric, UINT dpi)
{
    int size = ReadSystemMetricForDpi(sizeMetric, dpi);
    return (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON, size, size,
                             LR_DEFAULTCOLOR);
}

bool RegisterProgramWindowClass(const wchar_t* name, WNDPROC procedure)
{
    // Shared icons: the system frees them.
    HICON icon = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    HICON smallIcon = (HICON)LoadImageW(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    return RegisterOwnWindowClass(appState.instance, name, procedure, 0, IDC_ARROW, COLOR_BTNFACE, icon, smallIcon);
}

HICON LoadTrayIcon()
{
    typedef HRESULT (WINAPI* LoadIconMetricProc)(HINSTANCE, PCWSTR, int, HICON*);
    // Common controls 6, bound by our manifest, has it from Vista on.
    HMODULE controls = GetModuleHandleW(L"comctl32.dll");
    LoadIconMetricProc loadIconMetric =
        controls ? (LoadIconMetricProc)(void*)GetProcAddress(controls, "LoadIconMetric") : NULL;
    HICON icon = NULL;
    if (loadIconMetric &&
        SUCCEEDED(loadIconMetric(appState.instance, MAKEINTRESOURCEW(IDI_TAVROWEN), ICON_METRIC_SMALL, &icon)))
        return icon;
    // The tray is drawn at the screen's DPI.
    return LoadProgramIcon(SM_CXSMICON, ReadWindowDpi(NULL));
}
