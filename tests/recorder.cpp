// Stands in for the web browser: appends each address it is given, one per
// line in UTF-8, to addresses.txt beside itself.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    wchar_t logPath[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, logPath, MAX_PATH);
    wchar_t* slash = length ? wcsrchr(logPath, L'\\') : NULL;
    if (!slash || (slash - logPath) + 15 >= MAX_PATH)
        return 2;
    lstrcpyW(slash + 1, L"addresses.txt");

    const wchar_t* address = argc > 1 ? argv[1] : L"";
    int bytes = WideCharToMultiByte(CP_UTF8, 0, address, -1, NULL, 0, NULL, NULL);
    char* line = (char*)HeapAlloc(GetProcessHeap(), 0, bytes + 1);
    WideCharToMultiByte(CP_UTF8, 0, address, -1, line, bytes, NULL, NULL);
    line[bytes - 1] = '\n';

    // Another recorder may be writing: retry briefly on sharing violations.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(file, line, bytes, &written, NULL);
    CloseHandle(file);
    HeapFree(GetProcessHeap(), 0, line);
    LocalFree(argv);
    return 0;
}
