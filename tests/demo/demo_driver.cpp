// The main job, end to end: starts Tavrowen 2 the way a user does (it starts
// Task Manager, here the stand-in), waits for the link strip in the Processes
// page, clicks the strip beside Tavrowen 2's own row with a real mouse click
// and prints the address the browser (the recorder) received.
#include <windows.h>
#include <oleacc.h>
#include <stdio.h>
#include <string>
#include "standin_control.h"

namespace {

const wchar_t recorderLog[] = L"C:\\tavrowen-test\\addresses.txt";

std::wstring BinPath(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1) + name;
}

void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Pump(20);
    }
    return true;
}

bool Run(const std::wstring& path, const wchar_t* arguments)
{
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

BOOL CALLBACK FindProcessList(HWND child, LPARAM found)
{
    wchar_t className[64] = L"", text[64] = L"";
    GetClassNameW(child, className, ARRAYSIZE(className));
    GetWindowTextW(child, text, ARRAYSIZE(text));
    if (!wcscmp(className, L"SysListView32") && !wcscmp(text, STANDIN_LIST_TEXT))
        *(HWND*)found = child;
    return TRUE;
}

// The row whose name starts with `prefix`, read the way the program reads it.
int FindRow(HWND list, const wchar_t* prefix, std::wstring* name)
{
    IAccessible* accessible = NULL;
    if (FAILED(AccessibleObjectFromWindow(list, (DWORD)OBJID_CLIENT, accessibleInterfaceId, (void**)&accessible)))
        return -1;
    long count = 0;
    accessible->get_accChildCount(&count);
    int row = -1;
    for (long id = 1; id <= count && row < 0; ++id) {
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_I4;
        child.lVal = id;
        BSTR text = NULL;
        if (accessible->get_accName(child, &text) == S_OK && text && !_wcsnicmp(text, prefix, wcslen(prefix))) {
            row = id - 1;
            *name = text;
        }
        SysFreeString(text);
    }
    accessible->Release();
    return row;
}

void Click(int x, int y)
{
    INPUT inputs[3] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dx = (x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    inputs[0].mi.dy = (y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].type = INPUT_MOUSE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, inputs, sizeof(INPUT));
}

std::string ReadRecorded()
{
    std::string content;
    HANDLE file = CreateFileW(recorderLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, NULL) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

int Fail(const char* what)
{
    printf("demo: %s\n", what);
    Run(BinPath(L"Tavrowen2.exe"), L"/shutdown");
    return 1;
}

}  // namespace

int main()
{
    setvbuf(stdout, NULL, _IONBF, 0);
    // A window of our own keeps Wine's desktop up while we wait.
    CreateWindowExW(0, L"STATIC", L"demo", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    CoInitialize(NULL);
    DeleteFileW(recorderLog);
    // Skip the welcome screen, which would hold start-up for ten seconds.
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Veltrix\\Tavrowen2", 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) == ERROR_SUCCESS) {
        DWORD on = 1;
        RegSetValueExW(key, L"NoSplashScreen", 0, REG_DWORD, (const BYTE*)&on, sizeof(on));
        RegCloseKey(key);
    }

    printf("demo: starting Tavrowen2.exe, which starts Task Manager (the stand-in)\n");
    if (!Run(BinPath(L"Tavrowen2.exe"), L""))
        return Fail("could not start Tavrowen2.exe");
    HWND taskManager = NULL, list = NULL, strip = NULL;
    if (!WaitFor([&] { return (taskManager = FindWindowW(MAKEINTATOM(0x8002), STANDIN_TITLE)) != NULL; }, 30000))
        return Fail("Task Manager did not appear");
    if (!WaitFor([&] { EnumChildWindows(taskManager, FindProcessList, (LPARAM)&list); return list != NULL; }, 10000))
        return Fail("no Processes list");
    HWND page = GetParent(list);
    if (!WaitFor([&] { return (strip = FindWindowExW(page, NULL, L"LinksMarlet", NULL)) != NULL; }, 10000))
        return Fail("the link strip did not attach to the Processes page");
    printf("demo: the link strip is attached to the Processes page\n");

    std::wstring name;
    int row = FindRow(list, L"Tavrowen2", &name);
    if (row < 0)
        return Fail("no row for Tavrowen 2 in the list");
    SendMessageW(taskManager, STANDIN_SCROLL_TO, row, 0);
    SetForegroundWindow(taskManager);
    Pump(500);  // the strip follows within a tick of the watch timers
    LRESULT span = SendMessageW(taskManager, STANDIN_ROW_SPAN, row, 0);
    POINT rowMiddle = {0, ((short)LOWORD(span) + (short)HIWORD(span)) / 2};
    ClientToScreen(list, &rowMiddle);
    RECT stripRect;
    GetWindowRect(strip, &stripRect);
    if (rowMiddle.y < stripRect.top || rowMiddle.y >= stripRect.bottom)
        return Fail("the strip does not reach the chosen row");
    printf("demo: clicking the strip beside row %d (\"%ls\")\n", row + 1, name.c_str());
    Click(stripRect.left + (stripRect.right - stripRect.left) / 2, rowMiddle.y);

    std::string recorded;
    WaitFor([&] { return (recorded = ReadRecorded()).find('\n') != std::string::npos; }, 30000);
    Run(BinPath(L"Tavrowen2.exe"), L"/shutdown");
    PostMessageW(taskManager, WM_CLOSE, 0, 0);
    if (recorded.empty()) {
        printf("demo: the browser received no address\n");
        return 1;
    }
    printf("demo: address received by the browser:\n%s", recorded.c_str());
    Pump(1000);
    CoUninitialize();
    return 0;
}
