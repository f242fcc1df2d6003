// Shared pieces of the device suites: COM on the test thread, the test devices switched
// on or off, a settings file written for one test, and a graph whose control the test
// reaches.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "KestroDShowGraphBase.h"
#include "KestroSystemHelpers.h"
#include "KestroTestDevices.h"
#include "objbase.h"

namespace kcm_test {

// KCM_TEST_DEVICES for the life of the object (null: unset), restored afterwards.
class TestDevicesSwitch {
 public:
  explicit TestDevicesSwitch(const char* value) {
    const char* old = std::getenv("KCM_TEST_DEVICES");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    if (value != nullptr) setenv("KCM_TEST_DEVICES", value, 1);
    else unsetenv("KCM_TEST_DEVICES");
  }
  ~TestDevicesSwitch() {
    if (hadOld_) setenv("KCM_TEST_DEVICES", old_.c_str(), 1);
    else unsetenv("KCM_TEST_DEVICES");
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

// "KestroCommonModule.xml" beside the library holding `content` while the object lives;
// whatever was there before comes back afterwards.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& content) : path_(path()) {
    std::ifstream existing(path_);
    if (existing) {
      std::stringstream old;
      old << existing.rdbuf();
      old_ = old.str();
      hadOld_ = true;
    }
    std::ofstream(path_) << content;
  }
  ~SettingsFile() {
    if (hadOld_) std::ofstream(path_) << old_;
    else std::remove(path_.c_str());
  }
  static std::string path() {
    const std::wstring directory = kcm_getModulePath(L"KestroCommonModule.dll");
    return std::string(directory.begin(), directory.end()) + "/KestroCommonModule.xml";
  }

 private:
  const std::string path_;
  bool hadOld_ = false;
  std::string old_;
};

// The graph base with its graph and control in reach.
class DeviceGraph : public CDShowGraphBase {
 public:
  DeviceGraph() { EXPECT_EQ(S_OK, initGraphBuild(false, nullptr)); }
  ~DeviceGraph() override { destoryGraphBuild(); }
  IGraphBuilder* graph() { return m_pGraphBuilder; }
  IMediaControl* control() { return m_pMediaControl; }
};

// COM entered for each test; the test devices listed unless a test says otherwise.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }

  TestDevicesSwitch testDevices_{"1"};
};

inline std::wstring testCameraDisplayName() { return KCM_DEVICE_DISPLAY_NAME_PREFIX KCM_TEST_CAMERA_PATH; }
inline std::wstring testToneDisplayName() { return KCM_DEVICE_DISPLAY_NAME_PREFIX KCM_TEST_TONE_PATH; }

}  // namespace kcm_test
