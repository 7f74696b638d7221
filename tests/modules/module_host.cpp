// Loads the DLLs its command line names by full path, maps the last one as an
// image section without the loader, says so through the event named first,
// and idles two minutes: module_host <event> <dll>... <mapped dll>
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 3)
        return 1;
    for (int i = 2; i + 1 < count; ++i) {
        if (!LoadLibraryW(arguments[i]))
            return 2;
    }
    HANDLE file = CreateFileW(arguments[count - 1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE section = CreateFileMappingW(file, NULL, PAGE_READONLY | SEC_IMAGE, 0, 0, NULL);
    if (!section || !MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0))
        return 3;
    SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[1]));
    Sleep(120000);
    return 0;
}
