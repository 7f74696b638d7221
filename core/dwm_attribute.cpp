#include "core/dwm_attribute.h"
#include "core/system_folders.h"

typedef HRESULT(WINAPI* DwmSetWindowAttributeProc)(HWND, DWORD, LPCVOID, DWORD);

HRESULT WINAPI CallDwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size)
{
    HMODULE dwm = LoadSystemLibrary(L"dwmapi.dll");
    if (!dwm)
        return E_NOTIMPL;
    DwmSetWindowAttributeProc setAttribute =
        (DwmSetWindowAttributeProc)(void*)GetProcAddress(dwm, "DwmSetWindowAttribute");
    HRESULT result = setAttribute ? setAttribute(window, attribute, value, size) : E_NOTIMPL;
    FreeLibrary(dwm);
    return result;
}
