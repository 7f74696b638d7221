// Names compared as the file system compares them: case folded over all of
// Unicode by its upper-case table, not only A to Z, so "C:\Users\Änne" and
// "C:\USERS\änne" are one folder.
#pragma once
#include <stddef.h>
#include <wchar.h>

// Whether the first `length` characters of `a` and `b` are the same name; a
// terminator before `length` must be at the same place in both.
bool EqualAsFileNames(const wchar_t* a, const wchar_t* b, size_t length);
