// libKestroDmo.so: the DMO wrapper filter (CLSID_DMOWrapperFilter) and the platform's
// DMOs (the video frame-rate converter, wmcodecdsp.h). Its classes enter the class and
// DMO registries when the module loads.
#pragma once

#include "KestroPlatformExport.h"
#include "winerror.h"

KCM_EXTERN_C_BEGIN
// Registers the module's classes again (after a host revoked them, say); S_OK.
KCM_PLATFORM_API HRESULT KcmDmoRegisterClasses(void);
KCM_EXTERN_C_END
