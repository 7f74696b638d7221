// The program's own texts, from its string table: every word a person reads
// comes from there, so a table per language can replace them. Any thread.
#pragma once
#include <windows.h>

// The text with that id into `text`; false (text empty) when there is none
// or it did not fit.
bool LoadProgramText(UINT id, wchar_t* text, size_t capacity);

// The text with that id used as a printf format for the arguments; false
// (text empty) when there is none or the result did not fit.
bool FormatProgramText(wchar_t* text, size_t capacity, UINT id, ...);
