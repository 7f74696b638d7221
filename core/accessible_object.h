// What every accessible object of ours shares: counted references, the
// interfaces it answers to, no type information (screen readers call
// IAccessible directly), a home on the process heap, and handing itself to
// the asker of WM_GETOBJECT.
#pragma once
#include <windows.h>
#include <oleacc.h>
#include <new>

class AccessibleObject : public IAccessible {
public:
    STDMETHODIMP QueryInterface(REFIID id, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

protected:
    AccessibleObject() : references(1) {}
    // What the object holds, given back when its last reference goes.
    virtual void ReleaseHeld() {}

private:
    LONG references;
};

// A T made on the process heap, with one reference; NULL when memory ran
// out. Not operator new: it would bring the C++ runtime's exception support,
// and with it imports Windows XP lacks.
template <typename T, typename... Arguments>
T* MakeAccessibleObject(Arguments... arguments)
{
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    return memory ? new (memory) T(arguments...) : NULL;
}

// WM_GETOBJECT's answer with `object` (NULL gives 0), whose reference it takes.
LRESULT AnswerWithAccessibleObject(WPARAM wParam, AccessibleObject* object);
