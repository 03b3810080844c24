// The stand-in firewall as an in-process COM server: the firewall policy and rule classes, and
// their registration (DllRegisterServer, as regsvr32 calls it) in a Wine prefix for tests.
#include "Rule.h"
#include "Rules.h"

#include <string>

static HMODULE Module;
static LONG Locks;

namespace {

class Factory : public IClassFactory
{
public:
    explicit Factory(bool policy) : MakesPolicy(policy) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (object == NULL)
            return E_POINTER;
        *object = iid == IID_IUnknown || iid == IID_IClassFactory ? this : NULL;
        return *object != NULL ? S_OK : E_NOINTERFACE;
    }
    // Two static objects, alive as long as the module.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (object == NULL)
            return E_POINTER;
        *object = NULL;
        if (outer != NULL)
            return CLASS_E_NOAGGREGATION;
        IUnknown *made = MakesPolicy ? static_cast<IUnknown *>(NewPolicy()) : new Rule();
        HRESULT result = made->QueryInterface(iid, object);
        made->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? InterlockedIncrement(&Locks) : InterlockedDecrement(&Locks);
        return S_OK;
    }

private:
    bool MakesPolicy;
};

Factory PolicyFactory(true), RuleFactory(false);

const CLSID *const Classes[] = {&CLSID_NetFwPolicy2, &CLSID_NetFwRule};
// What the key named before registration, so that unregistering gives the class back.
const wchar_t Replaced[] = L"ReplacedByStandIn";

std::wstring ServerKey(const CLSID &clsid)
{
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"Software\\Classes\\CLSID\\") + text + L"\\InprocServer32";
}

LONG SetText(HKEY key, const wchar_t *name, const std::wstring &text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text.c_str(),
                          (DWORD)((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring GetText(HKEY key, const wchar_t *name)
{
    wchar_t text[MAX_PATH + 1] = {0};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    return RegGetValueW(key, NULL, name, RRF_RT_REG_SZ, NULL, text, &size) == ERROR_SUCCESS ? text : L"";
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        Module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void **object)
{
    if (object == NULL)
        return E_POINTER;
    *object = NULL;
    if (clsid == CLSID_NetFwPolicy2)
        return PolicyFactory.QueryInterface(iid, object);
    if (clsid == CLSID_NetFwRule)
        return RuleFactory.QueryInterface(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return ObjectsAlive() == 0 && Locks == 0 ? S_OK : S_FALSE;
}

// Both classes, in the machine's classes, served by this file; what they named before is kept.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(Module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return E_FAIL;
    for (const CLSID *clsid : Classes)
    {
        HKEY key;
        LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ServerKey(*clsid).c_str(), 0, NULL, 0,
                                      KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL);
        if (result != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(result);
        std::wstring before = GetText(key, NULL);
        if (before != path && GetText(key, Replaced).empty())
            SetText(key, Replaced, before);
        result = SetText(key, NULL, path);
        if (result == ERROR_SUCCESS)
            result = SetText(key, L"ThreadingModel", L"Both");
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(result);
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    for (const CLSID *clsid : Classes)
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ServerKey(*clsid).c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          &key) != ERROR_SUCCESS)
            continue;
        std::wstring before = GetText(key, Replaced);
        LONG result = before.empty() ? RegDeleteValueW(key, NULL) : SetText(key, NULL, before);
        RegDeleteValueW(key, Replaced);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(result);
    }
    return S_OK;
}
