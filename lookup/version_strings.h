// The five version strings a sheet shows (file version, product, company,
// description, original name), read from a file's version resource. Any thread.
#pragma once
#include <windows.h>
#include "lookup/property_sheet.h"

// Of the file at `readable`; empty where it has none.
void ReadSheetVersionStrings(const wchar_t* readable, SheetVersionStrings* version);
