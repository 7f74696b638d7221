// A DLL planted beside the program: it leaves "<its path>.loaded" when it loads.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(instance, path, MAX_PATH - 8);
    if (length == 0 || length >= MAX_PATH - 8)
        return TRUE;
    lstrcpyW(path + length, L".loaded");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    return TRUE;
}
