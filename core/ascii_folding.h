// The program's one case-insensitive rule: only the letters A to Z fold to
// a to z; every other character must match exactly.
#pragma once
#include <stddef.h>
#include <wchar.h>

inline wchar_t FoldAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? (wchar_t)(c - L'A' + L'a') : c;
}

// Compares the first `length` characters. A shorter string stops the
// comparison at its terminator, which matches nothing but a terminator.
inline bool EqualFoldingAsciiLetters(const wchar_t* a, const wchar_t* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i]))
            return false;
        if (a[i] == L'\0')
            return true;
    }
    return true;
}

// Whole terminated names, equal by the same rule.
inline bool IsSameNameFoldingAscii(const wchar_t* a, const wchar_t* b)
{
    size_t length = wcslen(b);
    return wcslen(a) == length && EqualFoldingAsciiLetters(a, b, length);
}

// The order of two names, letters A to Z folded: below, equal or above 0.
inline int CompareFoldingAsciiLetters(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        wchar_t x = FoldAsciiLetter(*a);
        wchar_t y = FoldAsciiLetter(*b);
        if (x != y || x == L'\0')
            return x < y ? -1 : (x > y ? 1 : 0);
    }
}
