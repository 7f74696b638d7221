#include "lookup/version_strings.h"
#include "core/seams.h"
#include "core/version_info.h"

void ReadSheetVersionStrings(const wchar_t* readable, SheetVersionStrings* version)
{
    static const wchar_t* const names[] = {L"FileVersion", L"ProductName", L"CompanyName", L"FileDescription",
                                           L"OriginalFilename"};
    wchar_t* values[] = {version->fileVersion, version->product, version->company, version->description,
                         version->originalName};
    VersionInfoBlock block;
    seams.loadVersionInfo(&block, readable);
    for (size_t i = 0; i < ARRAYSIZE(names); ++i) {
        if (!QueryVersionString(&block, names[i], values[i]))
            values[i][0] = L'\0';
    }
    FreeVersionInfo(&block);
}
