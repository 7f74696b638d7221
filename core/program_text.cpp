#include "core/program_text.h"
#include <stdarg.h>
#include <strsafe.h>
#include "core/program_language.h"

// The longest format in the table, with room to spare.
static const int FORMAT_CAPACITY = 512;
static const int STRINGS_PER_BLOCK = 16;

// The counted string for `id` in its block of that language; NULL (length 0)
// when the language has no such block or the string is empty there.
static const wchar_t* FindCountedText(UINT id, LANGID language, size_t* length)
{
    *length = 0;
    HMODULE module = GetModuleHandleW(NULL);
    HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), language);
    HGLOBAL loaded = block ? LoadResource(module, block) : NULL;
    const WCHAR* walk = loaded ? (const WCHAR*)LockResource(loaded) : NULL;
    DWORD size = block ? SizeofResource(module, block) : 0;
    if (!walk)
        return NULL;
    // Every entry is a count and that many characters; the block's size bounds the walk.
    const WCHAR* end = walk + size / sizeof(WCHAR);
    for (UINT i = 0; i < (id & (STRINGS_PER_BLOCK - 1)); ++i) {
        if (walk >= end || (size_t)(end - walk) <= *walk)
            return NULL;
        walk += 1 + *walk;
    }
    if (walk >= end || *walk == 0 || (size_t)(end - walk) <= *walk)
        return NULL;
    *length = *walk;
    return walk + 1;
}

bool LoadProgramText(UINT id, wchar_t* text, size_t capacity)
{
    if (!text || capacity == 0)
        return false;
    text[0] = L'\0';
    size_t length = 0;
    const wchar_t* found = FindCountedText(id, ProgramLanguage(), &length);
    if (!found)
        found = FindCountedText(id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &length);
    // A cut label is not the label.
    if (!found || length >= capacity)
        return false;
    CopyMemory(text, found, length * sizeof(wchar_t));
    text[length] = L'\0';
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
