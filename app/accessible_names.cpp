#include "app/accessible_names.h"
#include <strsafe.h>
#include "core/program_text.h"
#include "app/app_state.h"
#include "core/accessible_object.h"
#include "core/oleacc_functions.h"

static const wchar_t previousProcProperty[] = L"TavrowenAccessibleProc";
static const wchar_t textsProperty[] = L"TavrowenAccessibleTexts";
static const wchar_t describerProperty[] = L"TavrowenAccessibleItems";

typedef HRESULT (WINAPI* CreateStdAccessibleObjectProc)(HWND, LONG, REFIID, void**);

// Passes every call to the system's object but the control's own name and description.
class NamedAccessible final : public AccessibleObject {
public:
    NamedAccessible(IAccessible* inner, UINT nameId, UINT descriptionId, HWND control, ItemDescriber describe)
        : inner(inner), nameId(nameId), descriptionId(descriptionId), control(control), describe(describe) {}

    STDMETHODIMP get_accName(VARIANT child, BSTR* name) override
    {
        return IsSelf(child) && nameId ? LoadText(nameId, name) : inner->get_accName(child, name);
    }
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* description) override
    {
        if (IsSelf(child) && descriptionId)
            return LoadText(descriptionId, description);
        if (!IsSelf(child) && child.vt == VT_I4 && describe && description)
            return DescribeItem(child, description);
        return inner->get_accDescription(child, description);
    }
    STDMETHODIMP get_accParent(IDispatch** parent) override { return inner->get_accParent(parent); }
    STDMETHODIMP get_accChildCount(long* count) override { return inner->get_accChildCount(count); }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override { return inner->get_accChild(child, object); }
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override { return inner->get_accValue(child, value); }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override { return inner->get_accRole(child, role); }
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override { return inner->get_accState(child, state); }
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* help) override { return inner->get_accHelp(child, help); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return inner->get_accHelpTopic(file, child, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* keys) override
    {
        return inner->get_accKeyboardShortcut(child, keys);
    }
    STDMETHODIMP get_accFocus(VARIANT* focus) override { return inner->get_accFocus(focus); }
    STDMETHODIMP get_accSelection(VARIANT* selection) override { return inner->get_accSelection(selection); }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return inner->get_accDefaultAction(child, action);
    }
    STDMETHODIMP accSelect(long flags, VARIANT child) override { return inner->accSelect(flags, child); }
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        return inner->accLocation(left, top, width, height, child);
    }
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return inner->accNavigate(direction, start, end);
    }
    STDMETHODIMP accHitTest(long x, long y, VARIANT* child) override { return inner->accHitTest(x, y, child); }
    STDMETHODIMP accDoDefaultAction(VARIANT child) override { return inner->accDoDefaultAction(child); }
    STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) override { return inner->put_accValue(child, value); }

private:
    static bool IsSelf(VARIANT child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
    static HRESULT LoadText(UINT id, BSTR* text)
    {
        if (!text)
            return E_POINTER;
        wchar_t buffer[256];
        *text = NULL;
        if (!LoadProgramText(id, buffer, ARRAYSIZE(buffer)))
            return S_FALSE;
        *text = SysAllocString(buffer);
        return *text ? S_OK : E_OUTOFMEMORY;
    }

    // Ours first, then the system's own, as "level 2, PID: 4".
    HRESULT DescribeItem(VARIANT child, BSTR* description)
    {
        wchar_t ours[128];
        if (!describe(control, child.lVal, ours, ARRAYSIZE(ours)))
            return inner->get_accDescription(child, description);
        BSTR system = NULL;
        wchar_t text[1024];
        if (SUCCEEDED(inner->get_accDescription(child, &system)) && system && system[0])
            StringCchPrintfW(text, ARRAYSIZE(text), L"%s, %s", ours, system);
        else
            StringCchCopyW(text, ARRAYSIZE(text), ours);
        if (system)
            SysFreeString(system);
        *description = SysAllocString(text);
        return *description ? S_OK : E_OUTOFMEMORY;
    }

    void ReleaseHeld() override { inner->Release(); }

    IAccessible* inner;
    UINT nameId;
    UINT descriptionId;
    HWND control;
    ItemDescriber describe;
};

static LRESULT AnswerObjectRequest(HWND control, WPARAM wParam, UINT nameId, UINT descriptionId,
                                   ItemDescriber describe)
{
    CreateStdAccessibleObjectProc createStandard =
        (CreateStdAccessibleObjectProc)(void*)FindOleaccFunction("CreateStdAccessibleObject");
    IAccessible* standard = NULL;
    if (!createStandard ||
        FAILED(createStandard(control, OBJID_CLIENT, accessibleInterfaceId, (void**)&standard)) || !standard)
        return 0;
    NamedAccessible* named = MakeAccessibleObject<NamedAccessible>(standard, nameId, descriptionId, control, describe);
    if (!named)
        standard->Release();
    return AnswerWithAccessibleObject(wParam, named);
}

// The subclass's own messages; the rest go on to `previous`. The texts are
// read from the control's properties only here: a property is a round trip
// to the window server on some systems, too dear for every message.
static LRESULT RunNamedControlMessage(WNDPROC previous, HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETOBJECT && (LONG)lParam == (LONG)OBJID_CLIENT) {
        DWORD texts = (DWORD)(ULONG_PTR)GetPropW(control, textsProperty);
        ItemDescriber describe = (ItemDescriber)(void*)GetPropW(control, describerProperty);
        LRESULT answer = AnswerObjectRequest(control, wParam, LOWORD(texts), HIWORD(texts), describe);
        if (answer)
            return answer;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(control, GWLP_WNDPROC, (LONG_PTR)previous);
        RemovePropW(control, previousProcProperty);
        RemovePropW(control, textsProperty);
        RemovePropW(control, describerProperty);
    }
    return previous ? CallWindowProcW(previous, control, message, wParam, lParam)
                    : DefWindowProcW(control, message, wParam, lParam);
}

// A control subclassed straight over its class's procedure goes on to that,
// read from the class without a property.
static LRESULT CALLBACK NamedControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = (WNDPROC)GetClassLongPtrW(control, GCLP_WNDPROC);
    return RunNamedControlMessage(previous, control, message, wParam, lParam);
}

// One subclassed before us keeps the procedure it had in a property.
static LRESULT CALLBACK NamedSubclassedControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = (WNDPROC)GetPropW(control, previousProcProperty);
    return RunNamedControlMessage(previous, control, message, wParam, lParam);
}

bool GiveAccessibleName(HWND control, UINT nameId, UINT descriptionId)
{
    if (!control || !SetPropW(control, textsProperty, (HANDLE)(ULONG_PTR)MAKELONG(nameId, descriptionId)))
        return false;
    LONG_PTR previous = GetWindowLongPtrW(control, GWLP_WNDPROC);
    if (!previous || !SetPropW(control, previousProcProperty, (HANDLE)previous))
        return false;
    bool ownClassProc = previous == (LONG_PTR)GetClassLongPtrW(control, GCLP_WNDPROC);
    WNDPROC named = ownClassProc ? NamedControlProc : NamedSubclassedControlProc;
    return SetWindowLongPtrW(control, GWLP_WNDPROC, (LONG_PTR)named) != 0;
}

bool GiveAccessibleItemDescriptions(HWND control, UINT nameId, ItemDescriber describe)
{
    return control && SetPropW(control, describerProperty, (HANDLE)(void*)describe) &&
           GiveAccessibleName(control, nameId, 0);
}
