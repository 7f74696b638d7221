// A small process that idles until it is ended (ten minutes at most): the
// Running Processes benchmark starts many of them.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    Sleep(600000);
    return 0;
}
