// The ADO classes enter the in-process class registry when the library loads.
#include "AdoClasses.h"
#include "KestroAdo.h"

namespace {

struct ClassEntry {
  const CLSID* clsid;
  KcmCreateInstanceFunction create;
};

const ClassEntry kClasses[] = {
    {&CLSID_Connection, &kcm::ado::CreateConnection},
    {&CLSID_Command, &kcm::ado::CreateCommand},
    {&CLSID_Recordset, &kcm::ado::CreateRecordset},
    {&CLSID_Parameter, &kcm::ado::CreateParameter},
};

struct Registration {
  Registration() { KcmAdoRegisterClasses(); }
  ~Registration() {
    for (const ClassEntry& entry : kClasses) KcmCoRevokeClass(*entry.clsid);
  }
};
const Registration kRegistration;

}  // namespace

HRESULT KcmAdoRegisterClasses(void) {
  for (const ClassEntry& entry : kClasses) {
    const HRESULT result = KcmCoRegisterClassFunction(*entry.clsid, entry.create);
    if (FAILED(result)) return result;
  }
  return S_OK;
}
