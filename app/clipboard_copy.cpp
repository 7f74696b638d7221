#include "app/clipboard_copy.h"
#include "core/program_text.h"
#include "app/app_state.h"
#include "core/clipboard_text.h"
#include "resource.h"

static void TellPerson(HWND owner, UINT textId)
{
    wchar_t text[256], caption[64];
    if (LoadProgramText(textId, text, ARRAYSIZE(text)) &&
        LoadProgramText(IDS_BRAND_NAME, caption, ARRAYSIZE(caption)))
        MessageBoxW(owner, text, caption, MB_OK | MB_ICONWARNING);
}

void TellCopyFailed(HWND owner)
{
    TellPerson(owner, IDS_COPY_FAILED);
}

bool CopyTextForPerson(HWND owner, const wchar_t* text, bool whole)
{
    if (!PutTextOnClipboard(owner, text)) {
        TellCopyFailed(owner);
        return false;
    }
    if (!whole)
        TellPerson(owner, IDS_COPY_PARTIAL);
    return true;
}
