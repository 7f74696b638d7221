#include "core/window_class.h"

bool RegisterOwnWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style,
                            const wchar_t* cursor, int background, HICON icon, HICON smallIcon)
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(NULL, cursor);
    windowClass.hbrBackground = (HBRUSH)(INT_PTR)(background + 1);
    windowClass.hIcon = icon;
    windowClass.hIconSm = smallIcon;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
