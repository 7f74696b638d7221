// Fields of an executable's version resource.
#pragma once
#include <windows.h>
#include "core/seam_types.h"

const int VERSION_STRING_CAPACITY = 512;

void LoadVersionInfo(VersionInfoBlock* block, const wchar_t* path);
// Finds the fixed fields and the first translation in a block whose data and
// size are set, as LoadVersionInfo does once it has read the file's block.
void FindVersionFields(VersionInfoBlock* block);
bool QueryVersionString(const VersionInfoBlock* block, const wchar_t* name, wchar_t* out /* VERSION_STRING_CAPACITY */);
void FreeVersionInfo(VersionInfoBlock* block);
