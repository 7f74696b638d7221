#include "core/desktop_shell.h"
#include <exdisp.h>
#include <shellapi.h>
#include <shlobj.h>
#include <strsafe.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>
#include "core/seams.h"
#include "core/system_folders.h"
#include "core/system_probes.h"

bool IsDesktopShellElevated()
{
    // Without a shell window, the desktop window's process: under Wine its
    // explorer.exe; on Windows csrss.exe, which does not open, so no.
    HWND shell = GetShellWindow();
    if (!shell)
        shell = GetDesktopWindow();
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(shell, &processId) || processId == 0)
        return false;
    HANDLE process = seams.openProcess(ProcessQueryAccess(), FALSE, processId);
    if (!process)
        return false;
    bool elevated = IsProcessElevated(process);
    CloseHandle(process);
    return elevated;
}

static void ReleaseInterface(IUnknown* object)
{
    if (object)
        object->Release();
}

// The desktop view's Shell.Application object, running in the shell's process.
static IShellDispatch2* FindDesktopShellDispatch()
{
    IShellWindows* windows = NULL;
    IDispatch* desktop = NULL;
    IServiceProvider* services = NULL;
    IShellBrowser* browser = NULL;
    IShellView* view = NULL;
    IDispatch* background = NULL;
    IShellFolderViewDual* folderView = NULL;
    IDispatch* application = NULL;
    IShellDispatch2* dispatch = NULL;
    VARIANT none;
    VariantInit(&none);
    long window = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                   (void**)&windows)) &&
        windows->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) == S_OK && desktop &&
        SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, (void**)&services)) &&
        SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, (void**)&browser)) &&
        SUCCEEDED(browser->QueryActiveShellView(&view)) &&
        SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, (void**)&background)) &&
        SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, (void**)&folderView)) &&
        SUCCEEDED(folderView->get_Application(&application)) && application)
        application->QueryInterface(IID_IShellDispatch2, (void**)&dispatch);
    ReleaseInterface(application);
    ReleaseInterface(folderView);
    ReleaseInterface(background);
    ReleaseInterface(view);
    ReleaseInterface(browser);
    ReleaseInterface(services);
    ReleaseInterface(desktop);
    ReleaseInterface(windows);
    return dispatch;
}

bool OpenWithShellDispatch(IShellDispatch2* shell, const wchar_t* address)
{
    VARIANT none, operation, show;
    VariantInit(&none);
    VariantInit(&operation);
    VariantInit(&show);
    operation.vt = VT_BSTR;
    operation.bstrVal = SysAllocString(L"open");
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    BSTR file = SysAllocString(address);
    bool opened = file && operation.bstrVal && SUCCEEDED(shell->ShellExecute(file, none, none, operation, show));
    SysFreeString(file);
    VariantClear(&operation);
    return opened;
}

bool OpenAsDesktopShell(const wchar_t* address)
{
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    bool opened = false;
    IShellDispatch2* shell = FindDesktopShellDispatch();
    if (shell) {
        opened = seams.shellDispatchOpen(shell, address);
        shell->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return opened;
}

bool ShowFileInFolder(HWND owner, const wchar_t* path)
{
    if (!path || !path[0] || wcschr(path, L'"'))
        return false;
    // Explorer by its full path, never the shell's own folder opening: Wine's
    // starts a bare "explorer.exe", which a copy planted beside us answers.
    wchar_t explorer[MAX_PATH];
    size_t length = 0;
    if (FAILED(StringCchLengthW(path, 32768, &length)) || !BuildWindowsPath(L"explorer.exe", explorer, ARRAYSIZE(explorer)))
        return false;
    size_t capacity = length + 16;
    wchar_t* parameters = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(wchar_t));
    bool started = parameters && SUCCEEDED(StringCchPrintfW(parameters, capacity, L"/select,\"%s\"", path)) &&
                   (INT_PTR)ShellExecuteW(owner, L"open", explorer, parameters, NULL, SW_SHOWNORMAL) > 32;
    if (parameters)
        HeapFree(GetProcessHeap(), 0, parameters);
    return started;
}
