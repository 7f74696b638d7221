// Fields of an executable's version resource.
#pragma once
#include <windows.h>
#include "core/seam_types.h"

const int VERSION_STRING_CAPACITY = 512;

void LoadVersionInfo(VersionInfoBlock* block, const wchar_t* path);
bool QueryVersionString(const VersionInfoBlock* block, const wchar_t* name, wchar_t* out /* VERSION_STRING_CAPACITY */);
void FreeVersionInfo(VersionInfoBlock* block);
