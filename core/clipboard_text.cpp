#include "core/clipboard_text.h"
#include <strsafe.h>

// Another program opens the clipboard for a moment to read what changed.
static const int CLIPBOARD_OPEN_TRIES = 10;
static const DWORD CLIPBOARD_RETRY_MS = 20;

static bool OpenClipboardSoon(HWND window)
{
    for (int i = 0; i < CLIPBOARD_OPEN_TRIES; ++i) {
        if (OpenClipboard(window))
            return true;
        Sleep(CLIPBOARD_RETRY_MS);
    }
    return false;
}

bool PutTextOnClipboard(HWND owner, const wchar_t* text)
{
    size_t length = 0;
    if (!text || FAILED(StringCchLengthW(text, CLIPBOARD_TEXT_CAPACITY, &length)))
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
        if ((owner || holder) && OpenClipboardSoon(owner ? owner : holder)) {
            // The clipboard owns the memory once it has taken it.
            handedOver = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory) != NULL;
            CloseClipboard();
        }
    }
    if (!handedOver)
        GlobalFree(memory);
    if (holder)
        DestroyWindow(holder);
    return handedOver;
}
