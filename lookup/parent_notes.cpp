#include "lookup/parent_notes.h"
#include "core/ascii_folding.h"
#include "resource.h"

// Programs that open documents and mail from anyone: what they start runs
// on a document's word.
static const wchar_t* const documentPrograms[] = {
    L"winword.exe",  L"excel.exe",    L"powerpnt.exe",    L"outlook.exe",      L"msaccess.exe",
    L"mspub.exe",    L"visio.exe",    L"onenote.exe",     L"wordpad.exe",      L"eqnedt32.exe",
    L"acrord32.exe", L"acrobat.exe",  L"foxitreader.exe", L"foxitpdfreader.exe", L"sumatrapdf.exe",
    L"soffice.exe",  L"soffice.bin",  L"swriter.exe",     L"scalc.exe",        L"simpress.exe",
    L"thunderbird.exe", L"hwp.exe",   L"wps.exe",         L"et.exe",           L"wpp.exe",
};

// Programs that run whatever script or command they are given.
static const wchar_t* const scriptHosts[] = {
    L"cmd.exe",    L"powershell.exe", L"pwsh.exe",     L"wscript.exe",
    L"cscript.exe", L"mshta.exe",     L"rundll32.exe", L"regsvr32.exe",
};

static bool IsListed(const wchar_t* name, const wchar_t* const* names, size_t count)
{
    for (size_t i = 0; name && i < count; ++i) {
        if (IsSameNameFoldingAscii(name, names[i]))
            return true;
    }
    return false;
}

bool NoteDocumentParent(const wchar_t* parent, const wchar_t* child, NoteWords* note)
{
    return IsListed(parent, documentPrograms, ARRAYSIZE(documentPrograms)) &&
           IsListed(child, scriptHosts, ARRAYSIZE(scriptHosts)) &&
           SetNoteWords(note, IDS_NOTE_DOCUMENT_PARENT, parent);
}

bool NoteNotedParent(const wchar_t* parent, NoteWords* note)
{
    return SetNoteWords(note, IDS_NOTE_NOTED_PARENT, parent);
}
