#include "core/clipboard_text.h"
#include <strsafe.h>

static const size_t CLIPBOARD_TEXT_LIMIT = 32768;

bool PutTextOnClipboard(HWND owner, const wchar_t* text)
{
    size_t length = 0;
    if (FAILED(StringCchLengthW(text, CLIPBOARD_TEXT_LIMIT, &length)))
        return false;
    SIZE_T bytes = (length + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return false;
    HWND holder = owner ? NULL
                        : CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    bool handedOver = false;
    void* copy = GlobalLock(memory);
    if (copy) {
        CopyMemory(copy, text, bytes);
        GlobalUnlock(memory);
        if ((owner || holder) && OpenClipboard(owner ? owner : holder)) {
            EmptyClipboard();
            // The clipboard owns the memory once it has taken it.
            handedOver = SetClipboardData(CF_UNICODETEXT, memory) != NULL;
            CloseClipboard();
        }
    }
    if (!handedOver)
        GlobalFree(memory);
    if (holder)
        DestroyWindow(holder);
    return handedOver;
}
