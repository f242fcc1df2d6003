// The module's classes enter the class and DMO registries when it loads.
#include "DmoWrapperFilter.h"
#include "FrameRateConvertDmo.h"
#include "KestroDmo.h"
#include "wmcodecdsp.h"

namespace kcm::dmo {
namespace {

struct Registration {
  Registration() { KcmDmoRegisterClasses(); }
  ~Registration() {
    DMOUnregister(CLSID_CFrameRateConvertDmo, DMOCATEGORY_VIDEO_EFFECT);
    KcmCoRevokeClass(CLSID_CFrameRateConvertDmo);
    KcmCoRevokeClass(CLSID_DMOWrapperFilter);
  }
};
const Registration kRegistration;

}  // namespace
}  // namespace kcm::dmo

HRESULT KcmDmoRegisterClasses(void) {
  using namespace kcm::dmo;
  KcmCoRegisterClassFunction(CLSID_DMOWrapperFilter, &DmoWrapperFilter::Create);
  KcmCoRegisterClassFunction(CLSID_CFrameRateConvertDmo, &FrameRateConvertDmo::Create);
  DMORegister(L"Video frame-rate converter", CLSID_CFrameRateConvertDmo, DMOCATEGORY_VIDEO_EFFECT, 0, 0, nullptr, 0,
              nullptr);
  return S_OK;
}
