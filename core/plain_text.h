// Text from outside (command lines, version strings, certificate and
// registry names) written into our own lines.
#pragma once
#include <stddef.h>
#include <wchar.h>

// Whether a character breaks a line or reorders what follows it: the C0 and
// C1 controls, NEL (U+0085, a C1 control), the line and paragraph
// separators and the bidirectional embeddings, overrides and isolates.
inline bool IsLineOrOrderControl(wchar_t c)
{
    return c < L' ' || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Those characters turned into blanks: a value with a line break of its own
// would otherwise write a line of ours, such as a "Verified signer:" line
// inside a command line, and an override would turn the lines after it
// around. Stops at the terminator or after `length` characters.
inline void BlankControlCharacters(wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length && text[i]; ++i) {
        if (IsLineOrOrderControl(text[i]))
            text[i] = L' ';
    }
}
