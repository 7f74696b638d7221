// A registry value read as a path-sized text.
#pragma once
#include <windows.h>

// The value (NULL: the key's default) as text: REG_SZ or REG_EXPAND_SZ only,
// its length checked against what holds it, terminated here, and expanded
// when it is REG_EXPAND_SZ. False for an empty, overlong or other value.
bool ReadRegistryText(HKEY key, const wchar_t* valueName, wchar_t* text /* MAX_PATH */);
