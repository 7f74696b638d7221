#include "core/program_text.h"
#include <stdarg.h>
#include <strsafe.h>

// The longest format in the table, with room to spare.
static const int FORMAT_CAPACITY = 512;

bool LoadProgramText(UINT id, wchar_t* text, size_t capacity)
{
    if (!text || capacity == 0)
        return false;
    text[0] = L'\0';
    if (capacity > INT_MAX)
        capacity = INT_MAX;
    int length = LoadStringW(GetModuleHandleW(NULL), id, text, (int)capacity);
    // LoadStringW cuts a text that does not fit; a cut label is not the label.
    if (length <= 0 || (size_t)length + 1 >= capacity) {
        wchar_t* whole = NULL;
        int full = LoadStringW(GetModuleHandleW(NULL), id, (LPWSTR)&whole, 0);
        if (length <= 0 || full > length) {
            text[0] = L'\0';
            return false;
        }
    }
    return true;
}

bool FormatProgramText(wchar_t* text, size_t capacity, UINT id, ...)
{
    wchar_t format[FORMAT_CAPACITY];
    if (!text || capacity == 0)
        return false;
    text[0] = L'\0';
    if (!LoadProgramText(id, format, ARRAYSIZE(format)))
        return false;
    va_list arguments;
    va_start(arguments, id);
    HRESULT result = StringCchVPrintfW(text, capacity, format, arguments);
    va_end(arguments);
    if (FAILED(result)) {
        text[0] = L'\0';
        return false;
    }
    return true;
}
