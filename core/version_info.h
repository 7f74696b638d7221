// Fields of an executable's version resource.
#pragma once
#include <windows.h>

const int VERSION_STRING_CAPACITY = 512;

struct VersionInfoBlock {
    bool loaded;
    bool hasTranslation;
    void* data;
    DWORD size;                     // bytes at data: every value read lies inside them
    const WORD* translation;        // language, then code page
    VS_FIXEDFILEINFO* fixedInfo;
};

void LoadVersionInfo(VersionInfoBlock* block, const wchar_t* path);
// Finds the fixed fields and the first translation in a block whose data and
// size are set, as LoadVersionInfo does once it has read the file's block.
void FindVersionFields(VersionInfoBlock* block);
bool QueryVersionString(const VersionInfoBlock* block, const wchar_t* name, wchar_t* out /* VERSION_STRING_CAPACITY */);
void FreeVersionInfo(VersionInfoBlock* block);
