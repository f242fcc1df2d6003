// OLE object activation, as far as in-process objects need it.
#pragma once

#include "objbase.h"
#include "oleauto.h"
#include "oleidl.h"

KCM_EXTERN_C_BEGIN
// Puts an object into its running state. In-process objects run from creation, so this
// answers S_OK for any object and E_INVALIDARG for null.
KCM_PLATFORM_API HRESULT WINAPI OleRun(LPUNKNOWN object);
KCM_EXTERN_C_END
