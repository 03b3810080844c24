// COM plumbing of the stand-in's objects: IUnknown, and IDispatch from the firewall's own type
// library (registered in every Wine prefix and on Windows), so scripts reach the same methods.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <type_traits>

HRESULT FirewallTypeInfo(REFIID iid, ITypeInfo **info);

// Counts the stand-in's live objects, for DllCanUnloadNow.
void ObjectMade();
void ObjectGone();
LONG ObjectsAlive();

// IUnknown for one interface, IDispatch included when the interface is one.
template <class Interface>
class Object : public Interface
{
public:
    Object() : Refs(1) { ObjectMade(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (object == NULL)
            return E_POINTER;
        bool dispatch = std::is_base_of<IDispatch, Interface>::value && iid == IID_IDispatch;
        *object = iid == IID_IUnknown || iid == __uuidof(Interface) || dispatch ? this : NULL;
        if (*object == NULL)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&Refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&Refs);
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~Object() { ObjectGone(); }

private:
    LONG Refs;
};

template <class Interface>
class Dispatch : public Object<Interface>
{
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        ITypeInfo *info = NULL;
        if (count == NULL)
            return E_POINTER;
        *count = SUCCEEDED(FirewallTypeInfo(__uuidof(Interface), &info)) ? 1 : 0;
        if (info != NULL)
            info->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo **info) override
    {
        if (info == NULL)
            return E_POINTER;
        *info = NULL;
        return index != 0 ? DISP_E_BADINDEX : FirewallTypeInfo(__uuidof(Interface), info);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override
    {
        ITypeInfo *info = NULL;
        HRESULT result = FirewallTypeInfo(__uuidof(Interface), &info);
        if (SUCCEEDED(result))
        {
            result = DispGetIDsOfNames(info, names, count, ids);
            info->Release();
        }
        return result;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters,
                                     VARIANT *result, EXCEPINFO *exception, UINT *badArgument) override
    {
        ITypeInfo *info = NULL;
        HRESULT answer = FirewallTypeInfo(__uuidof(Interface), &info);
        if (SUCCEEDED(answer))
        {
            answer = DispInvoke(static_cast<Interface *>(this), info, id, flags, parameters, result,
                                exception, badArgument);
            info->Release();
        }
        return answer;
    }
};
