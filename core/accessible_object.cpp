#include "core/accessible_object.h"
#include "core/oleacc_functions.h"

typedef LRESULT (WINAPI* LresultFromObjectProc)(REFIID, WPARAM, LPUNKNOWN);

STDMETHODIMP AccessibleObject::QueryInterface(REFIID id, void** object)
{
    if (!object)
        return E_POINTER;
    *object = NULL;
    if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, IID_IDispatch) && !IsEqualIID(id, accessibleInterfaceId))
        return E_NOINTERFACE;
    *object = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) AccessibleObject::AddRef()
{
    return (ULONG)InterlockedIncrement(&references);
}

// Its members are plain values and handles: freeing the memory ends it.
STDMETHODIMP_(ULONG) AccessibleObject::Release()
{
    LONG left = InterlockedDecrement(&references);
    if (left == 0) {
        ReleaseHeld();
        HeapFree(GetProcessHeap(), 0, this);
    }
    return (ULONG)left;
}

STDMETHODIMP AccessibleObject::GetTypeInfoCount(UINT* count)
{
    if (count)
        *count = 0;
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleObject::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = NULL;
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP AccessibleObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

LRESULT AnswerWithAccessibleObject(WPARAM wParam, AccessibleObject* object)
{
    if (!object)
        return 0;
    LresultFromObjectProc fromObject = (LresultFromObjectProc)(void*)FindOleaccFunction("LresultFromObject");
    // LresultFromObject holds its own reference until the asker takes it.
    LRESULT answer = fromObject ? fromObject(accessibleInterfaceId, wParam, static_cast<IAccessible*>(object)) : 0;
    object->Release();
    return answer;
}
