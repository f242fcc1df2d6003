// The module's entry points: its device listing (test devices when asked for, V4L2
// cameras, ALSA capture PCMs) and test cameras of a caller's shape.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <dlfcn.h>

#include "AlsaCaptureFilter.h"
#include "KestroTestDevices.h"
#include "TestPatternCamera.h"
#include "TestToneGenerator.h"
#include "V4l2CaptureFilter.h"
#include "uuids.h"

namespace {

using namespace kcm::devices;

std::string settingsFilePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&KcmListModuleCaptureDevices), &info) == 0 || info.dli_fname == nullptr) {
    return "KestroCommonModule.xml";
  }
  const std::string module = info.dli_fname;
  const size_t slash = module.rfind('/');
  return (slash == std::string::npos ? std::string(".") : module.substr(0, slash)) + "/KestroCommonModule.xml";
}

// The "value" of the first <testDevices> element of the settings file; 0 when absent.
unsigned long testDevicesSetting() {
  std::ifstream file(settingsFilePath());
  if (!file) return 0;
  std::stringstream content;
  content << file.rdbuf();
  const std::string xml = content.str();
  for (size_t at = xml.find("<testDevices"); at != std::string::npos; at = xml.find("<testDevices", at + 1)) {
    const char after = at + 12 < xml.size() ? xml[at + 12] : '\0';
    if (after != ' ' && after != '\t' && after != '\n' && after != '/' && after != '>') continue;
    const size_t end = xml.find('>', at);
    const size_t value = xml.find("value=", at);
    if (value == std::string::npos || value > end || value + 7 > xml.size()) return 0;
    return std::strtoul(xml.c_str() + value + 7, nullptr, 10);
  }
  return 0;
}

bool testDevicesWanted() {
  const char* environment = std::getenv("KCM_TEST_DEVICES");
  if (environment != nullptr && *environment != '\0') return std::strtoul(environment, nullptr, 10) != 0;
  return testDevicesSetting() != 0;
}

HRESULT openStandardCamera(LPCWSTR devicePath, IBaseFilter** filter) {
  return openTestPatternCamera(standardTestCameraShape(), KCM_TEST_CAMERA_NAME, devicePath, filter);
}

HRESULT openTone(LPCWSTR devicePath, IBaseFilter** filter) {
  return openTestToneGenerator(KCM_TEST_TONE_NAME, devicePath, filter);
}

}  // namespace

HRESULT KcmCreateTestPatternCamera(const KcmTestCameraShape* shape, LPCWSTR friendlyName, IBaseFilter** filter) {
  try {
    return openTestPatternCamera(shape != nullptr ? *shape : standardTestCameraShape(),
                                 friendlyName != nullptr ? friendlyName : KCM_TEST_CAMERA_NAME, L"test:custom", filter);
  } catch (...) {
    if (filter != nullptr) *filter = nullptr;
    return E_OUTOFMEMORY;
  }
}

void KcmListModuleCaptureDevices(REFCLSID category, KcmCaptureDeviceVisitor visit, void* context) {
  if (visit == nullptr) return;
  try {
    const bool video = category == CLSID_VideoInputDeviceCategory;
    if (!video && category != CLSID_AudioInputDeviceCategory) return;
    if (video) {
      listV4l2Devices(visit, context);
    } else {
      listAlsaCaptureDevices(visit, context);
    }
    if (!testDevicesWanted()) return;
    if (video) {
      visit(context, KCM_TEST_CAMERA_NAME, KCM_TEST_CAMERA_PATH, &openStandardCamera);
    } else {
      visit(context, KCM_TEST_TONE_NAME, KCM_TEST_TONE_PATH, &openTone);
    }
  } catch (...) {
    // A listing that fails part-way lists what it had.
  }
}
