// Registration of the ADO classes of libKestroAdo.so with the in-process class registry.
#pragma once

#include "adoint.h"

#define KCM_ADO_API __attribute__((visibility("default")))

KCM_EXTERN_C_BEGIN
// The library registers CLSID_Connection, CLSID_Command, CLSID_Recordset and
// CLSID_Parameter when it loads; calling this registers them again (after a host
// revoked them, say) and makes a module that calls it depend on the library.
KCM_ADO_API HRESULT KcmAdoRegisterClasses(void);
KCM_EXTERN_C_END
