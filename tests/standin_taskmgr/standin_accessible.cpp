// Active Accessibility for the stand-in's process list. Wine's own list-view
// proxy reports no rows, so the list answers WM_GETOBJECT with this object:
// child ids are 1-based rows, a row's name is its first-column text.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include "standin_control.h"

namespace {

class ListAccessible : public IAccessible {
public:
    explicit ListAccessible(HWND list) : references(1), list(list) {}
    virtual ~ListAccessible() {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, accessibleInterfaceId)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return left;
    }

    // IDispatch: not offered beyond the interface itself.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        *parent = NULL;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        *count = (long)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override
    {
        *child = NULL;
        return S_FALSE;  // rows are simple elements
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        *name = NULL;
        if (child.vt != VT_I4)
            return E_INVALIDARG;
        // Like Task Manager's list, which has no label: the list itself has no name.
        if (child.lVal == CHILDID_SELF)
            return S_FALSE;
        int row = child.lVal - 1;
        if (row < 0 || row >= (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))
            return E_INVALIDARG;
        wchar_t text[1024] = L"";
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = ARRAYSIZE(text);
        SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
        *name = SysAllocString(text);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override
    {
        *value = NULL;
        return S_FALSE;
    }
    // As Windows' list-view proxy gives it: every column but the first as
    // "<title>: <text>", joined by ", ".
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        *text = NULL;
        int row = child.vt == VT_I4 ? child.lVal - 1 : -1;
        if (row < 0 || row >= (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))
            return S_FALSE;
        HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
        int columns = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
        wchar_t description[1024] = L"";
        for (int column = 1; column < columns; ++column) {
            wchar_t title[64] = L"", cell[256] = L"", part[340];
            LVCOLUMNW spec = {};
            spec.mask = LVCF_TEXT;
            spec.pszText = title;
            spec.cchTextMax = ARRAYSIZE(title);
            SendMessageW(list, LVM_GETCOLUMNW, column, (LPARAM)&spec);
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = cell;
            item.cchTextMax = ARRAYSIZE(cell);
            SendMessageW(list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
            wsprintfW(part, column > 1 ? L", %s: %s" : L"%s: %s", title, cell);
            if (lstrlenW(description) + lstrlenW(part) < (int)ARRAYSIZE(description))
                lstrcatW(description, part);
        }
        *text = SysAllocString(description);
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        VariantInit(role);
        role->vt = VT_I4;
        role->lVal = (child.vt == VT_I4 && child.lVal == CHILDID_SELF) ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_LISTITEM;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT, VARIANT* state) override
    {
        VariantInit(state);
        state->vt = VT_I4;
        state->lVal = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override
    {
        *help = NULL;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        *file = NULL;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override
    {
        *shortcut = NULL;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        VariantInit(focus);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        VariantInit(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR* action) override
    {
        *action = NULL;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        RECT rect = {};
        if (child.vt != VT_I4)
            return E_INVALIDARG;
        if (child.lVal == CHILDID_SELF) {
            GetWindowRect(list, &rect);
        } else {
            rect.left = LVIR_BOUNDS;
            if (!SendMessageW(list, LVM_GETITEMRECT, child.lVal - 1, (LPARAM)&rect))
                return E_INVALIDARG;
            MapWindowPoints(list, NULL, (POINT*)&rect, 2);
        }
        *left = rect.left;
        *top = rect.top;
        *width = rect.right - rect.left;
        *height = rect.bottom - rect.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override
    {
        VariantInit(end);
        return S_FALSE;
    }
    // The row under a screen point, by its vertical extent alone.
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        VariantInit(child);
        POINT point = {x, y};
        RECT client;
        ScreenToClient(list, &point);
        GetClientRect(list, &client);
        if (!PtInRect(&client, point))
            return S_FALSE;
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        int top = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        for (int row = top; row < count; ++row) {
            RECT bounds = {};
            bounds.left = LVIR_BOUNDS;
            if (!SendMessageW(list, LVM_GETITEMRECT, row, (LPARAM)&bounds) || bounds.top > client.bottom)
                break;
            if (point.y >= bounds.top && point.y < bounds.bottom) {
                child->lVal = row + 1;
                break;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    LONG references;
    HWND list;
};

}  // namespace

IAccessible* CreateListAccessible(HWND list)
{
    return new ListAccessible(list);
}
