// DwmSetWindowAttribute, which Windows Vista brought: looked up in dwmapi.dll
// from the system folder at each call, so the program still starts on XP.
#pragma once
#include <windows.h>

// As DwmSetWindowAttribute; E_NOTIMPL where the system has no DWM.
HRESULT WINAPI CallDwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size);
