// The transform filters IGraphBuilder::Connect may place between two pins that do not
// connect directly. This stands in for the filter merit entries of the system registry.
// The class itself must be creatable through CoCreateInstance (see objbase.h).
#pragma once

#include "guiddef.h"

KCM_EXTERN_C_BEGIN
// Adds or updates `clsid` with its merit; Connect tries higher merits first (equal
// merits in registration order). Thread-safe.
KCM_PLATFORM_API void KcmRegisterTransformFilter(REFCLSID clsid, DWORD merit);
// Removes `clsid`; nothing happens when it is not registered.
KCM_PLATFORM_API void KcmRevokeTransformFilter(REFCLSID clsid);
KCM_EXTERN_C_END
