// Text from outside (command lines, version strings, certificate and
// registry names) written into our own lines.
#pragma once
#include <stddef.h>
#include <wchar.h>

// Control characters, line breaks above all, turned into blanks: a value
// with a line break of its own would otherwise write a line of ours, such
// as a "Verified signer:" line inside a command line. Stops at the
// terminator or after `length` characters.
inline void BlankControlCharacters(wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length && text[i]; ++i) {
        if (text[i] < L' ' || text[i] == 0x7F)
            text[i] = L' ';
    }
}
