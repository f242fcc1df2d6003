// A cloud tour control whose port is one end of a socat pair; the test reads the other.
#pragma once

#include <dirent.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "KestroCloudTourControl.h"
#include "SocatPair.h"
#include "windows.h"

namespace kcm_test {

inline CloudTourOpParam OpParam(int speed, int preset = 0) {
  CloudTourOpParam param{};
  param.speed = speed;
  param.preset = preset;
  return param;
}

// Threads of this process, for checking that nothing is left running. The first thread
// ever started may bring a runtime's helper thread along (ThreadSanitizer's does): one is
// started and ended first, so that only our threads make a difference.
inline int ThreadCount() {
  static const bool warmedUp = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)warmedUp;
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(tasks);
  }
  return count;
}

class HeadOnPty : public ::testing::Test {
 protected:
  static constexpr int kPortIndex = 20;  // COM21

  void SetUp() override {
    ASSERT_TRUE(pair_.ok()) << "socat did not start";
    MapComPort(kPortIndex + 1, pair_.nearEnd());
    head_ = std::make_unique<FarEnd>(pair_.farEnd());
    ASSERT_TRUE(head_->ok());
    control_ = static_cast<ICloudTourControl*>(CreateCloudTourControl(IID_ICloudTourControl, KCM_INTERFACE_VERSION));
    ASSERT_NE(control_, nullptr);
  }
  void TearDown() override {
    if (control_ != nullptr) control_->Ex_Release();
  }

  void Use(int protocol, int address = 0) { control_->configure(kPortIndex, address, protocol, nullptr, 0); }

  // Runs one operation and answers, in hex, what reached the head.
  std::string Send(int op, CloudTourOpParam param, std::chrono::milliseconds patience = std::chrono::milliseconds(1500)) {
    EXPECT_EQ(control_->doOP(op, &param), S_OK);
    return head_->takeHex(patience);
  }
  std::string Send(int op, int speed = 0, int preset = 0) { return Send(op, OpParam(speed, preset)); }
  // For operations that must send nothing: a short wait is enough.
  std::string SendNothing(int op, int speed = 0) { return Send(op, OpParam(speed), std::chrono::milliseconds(150)); }

  SocatPair pair_;
  std::unique_ptr<FarEnd> head_;
  ICloudTourControl* control_ = nullptr;
};

}  // namespace kcm_test
