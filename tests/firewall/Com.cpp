#include "Com.h"

#include <initguid.h>  // the firewall GUIDs are defined here, once
#include <netfw.h>

static LONG LiveObjects;

void ObjectMade()
{
    InterlockedIncrement(&LiveObjects);
}

void ObjectGone()
{
    InterlockedDecrement(&LiveObjects);
}

LONG ObjectsAlive()
{
    return LiveObjects;
}

HRESULT FirewallTypeInfo(REFIID iid, ITypeInfo **info)
{
    ITypeLib *library = NULL;
    HRESULT result = LoadRegTypeLib(LIBID_NetFwPublicTypeLib, 1, 0, LOCALE_NEUTRAL, &library);
    if (SUCCEEDED(result))
    {
        result = library->GetTypeInfoOfGuid(iid, info);
        library->Release();
    }
    return result;
}
