// Keeps a file handle it inherited open until it is ended, so a test can
// have "another process" hold a file. Argument: the handle's value.
#include <windows.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HANDLE file = (HANDLE)(UINT_PTR)_strtoui64(argv[1], NULL, 10);
    if (GetFileType(file) != FILE_TYPE_DISK)
        return 3;
    Sleep(120000);
    CloseHandle(file);
    return 0;
}
