// Built as xnotepad.exe: a module whose file name ends with "notepad.exe".
#include <windows.h>

extern "C" __declspec(dllexport) int LocatorSuffixModule()
{
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
