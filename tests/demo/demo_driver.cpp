// The main job, end to end: starts Tavrowen 2 the way a user does (it starts
// Task Manager, here the stand-in), waits for the link strip in the Processes
// page, clicks the strip beside Tavrowen 2's own row with a real mouse click
// and prints the address the browser (the recorder) received.
#include <windows.h>
#include <oleacc.h>
#include <stdio.h>
#include <string>
#include "standin_client.h"
#include "test_support.h"

namespace {

// Starts Tavrowen2.exe with these arguments and lets it run.
bool RunTavrowen(const wchar_t* arguments)
{
    PROCESS_INFORMATION process;
    if (!StartProgram(BinPath(L"Tavrowen2.exe"), arguments, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
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

int Fail(const char* what)
{
    printf("demo: %s\n", what);
    RunTavrowen(L"/shutdown");
    return 1;
}

}  // namespace

int main()
{
    setvbuf(stdout, NULL, _IONBF, 0);
    // A window of our own keeps Wine's desktop up while we wait.
    CreateWindowExW(0, L"STATIC", L"demo", WS_POPUP, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    CoInitialize(NULL);
    ClearRecordedAddresses();
    // Skip the welcome screen, which would hold start-up for ten seconds.
    SetDwordValue(HKEY_CURRENT_USER, L"Software\\Veltrix\\Tavrowen2", L"NoSplashScreen", 1);

    printf("demo: starting Tavrowen2.exe, which starts Task Manager (the stand-in)\n");
    if (!RunTavrowen(L""))
        return Fail("could not start Tavrowen2.exe");
    StandInTaskManager taskManager;
    HWND strip = NULL;
    if (!taskManager.Adopt(30000))
        return Fail("Task Manager did not appear");
    if (!WaitUntil([&] { return taskManager.FindWindows(); }, 10000))
        return Fail("no Processes list");
    if (!WaitUntil([&] { return (strip = FindWindowExW(taskManager.page, NULL, L"LinksMarlet", NULL)) != NULL; },
                   10000))
        return Fail("the link strip did not attach to the Processes page");
    printf("demo: the link strip is attached to the Processes page\n");

    std::wstring name;
    int row = FindRow(taskManager.list, L"Tavrowen2", &name);
    if (row < 0)
        return Fail("no row for Tavrowen 2 in the list");
    taskManager.Send(STANDIN_SCROLL_TO, row);
    SetForegroundWindow(taskManager.window);
    PumpMessagesFor(500);  // the strip follows within a tick of the watch timers
    RECT rowRect = taskManager.RowScreenRect(row);
    int rowMiddle = (rowRect.top + rowRect.bottom) / 2;
    RECT stripRect;
    GetWindowRect(strip, &stripRect);
    if (rowMiddle < stripRect.top || rowMiddle >= stripRect.bottom)
        return Fail("the strip does not reach the chosen row");
    printf("demo: clicking the strip beside row %d (\"%ls\")\n", row + 1, name.c_str());
    ClickScreenPoint(stripRect.left + (stripRect.right - stripRect.left) / 2, rowMiddle);

    std::string recorded;
    WaitUntil([&] { return (recorded = ReadFileText(RecorderLogPath())).find('\n') != std::string::npos; }, 30000);
    RunTavrowen(L"/shutdown");
    taskManager.Close();
    if (recorded.empty()) {
        printf("demo: the browser received no address\n");
        return 1;
    }
    printf("demo: address received by the browser:\n%s", recorded.c_str());
    PumpMessagesFor(1000);
    CoUninitialize();
    return 0;
}
