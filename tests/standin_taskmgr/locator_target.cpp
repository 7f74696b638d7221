// A process for the executable locator tests to find. Copied under the image
// names the tests need; it idles until killed (two minutes at most).
//   /suffix  loads xnotepad.exe from its own directory and moves that module
//            ahead of the main module in the loader's list, which is the order
//            module snapshots report.
//   /child "<path>" <arguments>  starts <path> (another copy) with the
//            arguments and is ready once it is: a chain of processes.
// It sets the event "tavrowen-locator-ready-<pid>" once it is ready.
#include <windows.h>
#include <winternl.h>

namespace {

// The loader's records, as far as they are needed here.
struct LoaderData {
    ULONG length;
    BOOLEAN initialized;
    PVOID ssHandle;
    LIST_ENTRY inLoadOrder;
};

struct LoaderEntry {
    LIST_ENTRY inLoadOrderLinks;
    LIST_ENTRY inMemoryOrderLinks;
    LIST_ENTRY inInitializationOrderLinks;
    PVOID dllBase;
};

LoaderData* OwnLoaderData()
{
    typedef LONG(WINAPI * QueryProcessProc)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    QueryProcessProc query = (QueryProcessProc)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                                                     "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), NULL) != 0)
        return NULL;
    return (LoaderData*)basic.PebBaseAddress->Ldr;
}

bool MoveModuleToFront(HMODULE module)
{
    LoaderData* loader = OwnLoaderData();
    if (!loader)
        return false;
    LIST_ENTRY* head = &loader->inLoadOrder;
    for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
        LoaderEntry* entry = (LoaderEntry*)link;
        if (entry->dllBase != module)
            continue;
        link->Blink->Flink = link->Flink;
        link->Flink->Blink = link->Blink;
        link->Flink = head->Flink;
        link->Blink = head;
        head->Flink->Blink = link;
        head->Flink = link;
        return true;
    }
    return false;
}

// Starts the child named after "/child" with the rest of the line, and
// waits until it is ready.
bool StartChild(const wchar_t* commandLine)
{
    const wchar_t* open = wcsstr(commandLine, L"/child \"");
    wchar_t childLine[4096];
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child;
    if (!open)
        return true;
    lstrcpynW(childLine, open + 7, ARRAYSIZE(childLine));
    if (!CreateProcessW(NULL, childLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child))
        return false;
    wchar_t eventName[64];
    wsprintfW(eventName, L"tavrowen-locator-ready-%lu", child.dwProcessId);
    HANDLE event = NULL;
    for (int i = 0; i < 300 && !event; ++i)
        if (!(event = OpenEventW(SYNCHRONIZE, FALSE, eventName)))
            Sleep(100);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return event && CloseHandle(event);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    if (wcsstr(commandLine, L"/suffix")) {
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
        wchar_t* slash = length ? wcsrchr(path, L'\\') : NULL;
        if (!slash || (slash - path) + 14 >= MAX_PATH)
            return 2;
        lstrcpyW(slash + 1, L"xnotepad.exe");
        HMODULE module = LoadLibraryW(path);
        if (!module || !MoveModuleToFront(module))
            return 3;
    }
    if (!StartChild(commandLine))
        return 4;
    wchar_t eventName[64];
    wsprintfW(eventName, L"tavrowen-locator-ready-%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventW(NULL, TRUE, TRUE, eventName);
    Sleep(120000);
    if (ready)
        CloseHandle(ready);
    return 0;
}
