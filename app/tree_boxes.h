// The boxes a row of a tree shows before its icon: collapsed ("+") and
// expanded ("-"), drawn at the list's DPI in the system's grey, with a
// clear inside so that any background shows through. Window thread only.
#pragma once
#include <windows.h>
#include <commctrl.h>

// The image list (collapsed first, then expanded) for LVSIL_STATE; the
// caller destroys it. NULL when it cannot be made.
HIMAGELIST MakeTreeBoxes(UINT dpi);
