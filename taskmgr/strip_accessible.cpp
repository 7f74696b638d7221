#include "taskmgr/strip_accessible.h"
#include "core/program_text.h"
#include <strsafe.h>
#include "core/accessible_object.h"
#include "core/lazy_lock.h"
#include "core/oleacc_functions.h"
#include "taskmgr/link_strip.h"
#include "resource.h"

typedef HRESULT (WINAPI* AccessibleObjectFromWindowProc)(HWND, DWORD, REFIID, void**);

// Every object handed out and not yet released, so that a strip's end
// disconnects them: a screen reader may hold one long after, and the
// strip's handle may by then name another window.
static class StripAccessible* liveObjects;
static CRITICAL_SECTION liveLock;
static volatile LONG liveLockState;

class StripAccessible final : public AccessibleObject {
public:
    explicit StripAccessible(HWND strip) : strip(strip), next(NULL)
    {
        MakeLockOnce(&liveLock, &liveLockState);
        EnterCriticalSection(&liveLock);
        next = liveObjects;
        liveObjects = this;
        LeaveCriticalSection(&liveLock);
    }
    ~StripAccessible()
    {
        EnterCriticalSection(&liveLock);
        for (StripAccessible** link = &liveObjects; *link; link = &(*link)->next) {
            if (*link == this) {
                *link = next;
                break;
            }
        }
        LeaveCriticalSection(&liveLock);
    }
    static void ForgetWindow(HWND window)
    {
        MakeLockOnce(&liveLock, &liveLockState);
        EnterCriticalSection(&liveLock);
        for (StripAccessible* object = liveObjects; object; object = object->next) {
            if (object->strip == window)
                object->strip = NULL;
        }
        LeaveCriticalSection(&liveLock);
    }

    // IAccessible
    STDMETHODIMP get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = NULL;
        AccessibleObjectFromWindowProc fromWindow =
            (AccessibleObjectFromWindowProc)(void*)FindOleaccFunction("AccessibleObjectFromWindow");
        if (!IsWindow(strip))
            return CO_E_OBJNOTCONNECTED;
        return fromWindow ? fromWindow(strip, (DWORD)OBJID_WINDOW, IID_IDispatch, (void**)parent) : S_FALSE;
    }
    STDMETHODIMP get_accChildCount(long* count) override
    {
        if (!count)
            return E_POINTER;
        *count = CountStripLinks(strip);
        return IsWindow(strip) ? S_OK : CO_E_OBJNOTCONNECTED;
    }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override
    {
        if (!object)
            return E_POINTER;
        *object = NULL;
        // The links are simple elements, answered by this object.
        return LinkOf(child) >= 0 ? S_FALSE : E_INVALIDARG;
    }
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = NULL;
        int link = LinkOf(child);
        if (link == SELF)
            return S_FALSE;
        wchar_t rowName[MAX_PATH];
        wchar_t format[64];
        wchar_t text[MAX_PATH + 64];
        if (link < 0)
            return E_INVALIDARG;
        if (!ReadLinkRowName(strip, link, rowName) || !LoadText(IDS_LINK_ACCESSIBLE_NAME, format, ARRAYSIZE(format)) ||
            FAILED(StringCchPrintfW(text, ARRAYSIZE(text), format, rowName)))
            return S_FALSE;
        *name = SysAllocString(text);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_accValue(VARIANT, BSTR* value) override { return NoText(value); }
    STDMETHODIMP get_accDescription(VARIANT, BSTR* description) override { return NoText(description); }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role)
            return E_POINTER;
        VariantInit(role);
        int link = LinkOf(child);
        if (link == INVALID)
            return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = link == SELF ? ROLE_SYSTEM_CLIENT : ROLE_SYSTEM_LINK;
        return S_OK;
    }
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state)
            return E_POINTER;
        VariantInit(state);
        int link = LinkOf(child);
        if (link == INVALID)
            return E_INVALIDARG;
        state->vt = VT_I4;
        if (link == SELF)
            state->lVal = IsWindowVisible(strip) ? 0 : STATE_SYSTEM_INVISIBLE;
        else
            state->lVal = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED |
                          (IsLinkShown(strip, link) ? 0 : STATE_SYSTEM_OFFSCREEN);
        return S_OK;
    }
    STDMETHODIMP get_accHelp(VARIANT, BSTR* help) override { return NoText(help); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        if (topic)
            *topic = 0;
        return NoText(file);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override { return NoText(shortcut); }
    STDMETHODIMP get_accFocus(VARIANT* focus) override { return NoChild(focus); }
    STDMETHODIMP get_accSelection(VARIANT* selection) override { return NoChild(selection); }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!action)
            return E_POINTER;
        *action = NULL;
        int link = LinkOf(child);
        if (link == SELF)
            return S_FALSE;
        wchar_t text[32];
        if (link < 0)
            return E_INVALIDARG;
        if (!LoadText(IDS_LINK_ACCESSIBLE_ACTION, text, ARRAYSIZE(text)))
            return S_FALSE;
        *action = SysAllocString(text);
        return *action ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        if (!left || !top || !width || !height)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        int link = LinkOf(child);
        RECT rect;
        bool found = link == SELF ? GetWindowRect(strip, &rect) != FALSE : link >= 0 && LinkScreenRect(strip, link, &rect);
        if (link == INVALID)
            return E_INVALIDARG;
        if (!found)
            return S_FALSE;
        *left = rect.left;
        *top = rect.top;
        *width = rect.right - rect.left;
        *height = rect.bottom - rect.top;
        return S_OK;
    }
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        if (!end)
            return E_POINTER;
        VariantInit(end);
        int link = LinkOf(start);
        int count = CountStripLinks(strip);
        if (link == INVALID)
            return E_INVALIDARG;
        int next = -1;
        if (link == SELF && direction == NAVDIR_FIRSTCHILD)
            next = 0;
        else if (link == SELF && direction == NAVDIR_LASTCHILD)
            next = count - 1;
        else if (link >= 0 && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN))
            next = link + 1;
        else if (link >= 0 && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP))
            next = link - 1;
        if (next < 0 || next >= count)
            return S_FALSE;
        end->vt = VT_I4;
        end->lVal = next + 1;
        return S_OK;
    }
    STDMETHODIMP accHitTest(long x, long y, VARIANT* child) override
    {
        if (!child)
            return E_POINTER;
        VariantInit(child);
        POINT point = {x, y};
        RECT rect;
        if (!GetWindowRect(strip, &rect) || !PtInRect(&rect, point))
            return S_FALSE;
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        for (int link = 0; link < CountStripLinks(strip); ++link) {
            if (LinkScreenRect(strip, link, &rect) && PtInRect(&rect, point))
                child->lVal = link + 1;
        }
        return S_OK;
    }
    STDMETHODIMP accDoDefaultAction(VARIANT child) override
    {
        int link = LinkOf(child);
        if (link < 0)
            return link == SELF ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
        ClickStripLink(strip, link);
        return S_OK;
    }
    STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    static const int SELF = -1;
    static const int INVALID = -2;

    // The link a child id names (0 for the first), SELF, or INVALID.
    int LinkOf(VARIANT child) const
    {
        if (child.vt != VT_I4 || !IsWindow(strip))
            return INVALID;
        if (child.lVal == CHILDID_SELF)
            return SELF;
        return child.lVal >= 1 && child.lVal <= CountStripLinks(strip) ? (int)child.lVal - 1 : INVALID;
    }
    bool LoadText(UINT id, wchar_t* text, int capacity) const
    {
        return capacity > 0 && LoadProgramText(id, text, (size_t)capacity);
    }
    static HRESULT NoText(BSTR* text)
    {
        if (!text)
            return E_POINTER;
        *text = NULL;
        return S_FALSE;
    }
    static HRESULT NoChild(VARIANT* child)
    {
        if (!child)
            return E_POINTER;
        VariantInit(child);
        return S_FALSE;
    }

    HWND strip;  // NULL once the strip is destroyed
    StripAccessible* next;
};

static void ForgetStripObjects(HWND strip)
{
    StripAccessible::ForgetWindow(strip);
}

LRESULT AnswerStripObjectRequest(HWND strip, WPARAM wParam, LPARAM lParam)
{
    if ((LONG)lParam != (LONG)OBJID_CLIENT)
        return 0;
    ListenForStripEnd(ForgetStripObjects);
    return AnswerWithAccessibleObject(wParam, MakeAccessibleObject<StripAccessible>(strip));
}
