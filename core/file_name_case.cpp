#include "core/file_name_case.h"
#include <windows.h>

typedef int(WINAPI* CompareStringOrdinalProc)(LPCWCH, int, LPCWCH, int, BOOL);

// Vista and later; XP has no ordinal comparison that ignores case.
static CompareStringOrdinalProc OrdinalComparison()
{
    static CompareStringOrdinalProc compare;
    static volatile LONG looked;
    if (!looked) {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        compare = kernel ? (CompareStringOrdinalProc)(void*)GetProcAddress(kernel, "CompareStringOrdinal") : NULL;
        InterlockedExchange(&looked, 1);
    }
    return compare;
}

// One character as the invariant locale writes it in upper case.
static wchar_t UpperCase(wchar_t c)
{
    wchar_t upper = c;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1) != 1)
        upper = c;
    return upper;
}

bool EqualAsFileNames(const wchar_t* a, const wchar_t* b, size_t length)
{
    size_t lengthA = 0, lengthB = 0;
    while (lengthA < length && a[lengthA])
        ++lengthA;
    while (lengthB < length && b[lengthB])
        ++lengthB;
    if (lengthA != lengthB || lengthA > 0x7FFFFFFF)
        return false;
    CompareStringOrdinalProc compare = OrdinalComparison();
    if (compare)
        return compare(a, (int)lengthA, b, (int)lengthB, TRUE) == CSTR_EQUAL;
    for (size_t i = 0; i < lengthA; ++i) {
        if (a[i] != b[i] && UpperCase(a[i]) != UpperCase(b[i]))
            return false;
    }
    return true;
}
