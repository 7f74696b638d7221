// Stands in for a program the shell starts (the elevated companion, Task
// Manager): appends how it was started to C:\tavrowen-test\probe.txt and ends.
#include <windows.h>
#include <stdio.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t module[MAX_PATH] = L"";
    wchar_t directory[MAX_PATH] = L"";
    GetModuleFileNameW(NULL, module, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, directory);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);

    wchar_t line[1024];
    int length = _snwprintf(line, 1023, L"%ls|%ls|%lu|%u\n", module, directory, startup.dwFlags,
                            (unsigned)startup.wShowWindow);
    line[1023] = L'\0';
    if (length < 0)
        length = (int)wcslen(line);
    char utf8[4096];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, length, utf8, sizeof(utf8), NULL, NULL);
    CreateDirectoryW(L"C:\\tavrowen-test", NULL);
    HANDLE file = CreateFileW(L"C:\\tavrowen-test\\probe.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, utf8, (DWORD)bytes, &written, NULL);
        CloseHandle(file);
    }
    return 0;
}
