// The control itself: the factory, the reader around operations, and bad input.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "HeadOnPty.h"
#include "core/LogCapture.h"

using namespace kcm_test;

namespace {

const int kPelcoD = 0;
const int kVisca = 2;

// Collects what the reader hands over; can be told to throw from onData.
class RecordingSink : public ICloudTourDataSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID&, unsigned long) override { return nullptr; }
  void onData(ICloudTourControl* control, const char* data, size_t length) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.append(data, length);
      lastControl_ = control;
    }
    arrived_.notify_all();
    if (throwing_) throw std::runtime_error("sink failure");
  }

  // Waits until `text` has arrived; answers everything received so far.
  std::string WaitFor(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(3), [&] { return received_.find(text) != std::string::npos; });
    return received_;
  }
  ICloudTourControl* LastControl() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastControl_;
  }
  void SetThrowing() { throwing_ = true; }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::string received_;
  ICloudTourControl* lastControl_ = nullptr;
  std::atomic<bool> throwing_{false};
};

TEST(CloudTourControlFactory, AnswersItsInterfacesOnly) {
  auto* control = static_cast<ICloudTourControl*>(CreateCloudTourControl(IID_ICloudTourControl, 0x010101FF));
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->Ex_QueryInterface(IID_IUnknownEx, KCM_INTERFACE_VERSION), static_cast<void*>(control));
  EXPECT_EQ(control->Ex_QueryInterface(IID_ICloudTourControl, 0x01020100), nullptr);
  EXPECT_TRUE(control->Ex_Release());
  EXPECT_EQ(CreateCloudTourControl(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION), nullptr);
  EXPECT_EQ(CreateCloudTourControl(IID_ICloudTourControl, 0x02010100), nullptr);
}

// Port index 0 is COM1, address 0 goes out as 1.
TEST(CloudTourControlConfigure, IndexZeroIsCom1AndAddressOne) {
  SocatPair pair;
  ASSERT_TRUE(pair.ok());
  MapComPort(1, pair.nearEnd());
  FarEnd head(pair.farEnd());
  auto* control = static_cast<ICloudTourControl*>(CreateCloudTourControl(IID_ICloudTourControl, KCM_INTERFACE_VERSION));
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->configure(0, 0, kPelcoD, nullptr, 0), S_OK);
  CloudTourOpParam param = OpParam(0);
  EXPECT_EQ(control->doOP(CloudTourOpStop, &param), S_OK);
  EXPECT_EQ(head.takeHex(), "FF 01 00 00 00 00 01");
  control->Ex_Release();
}

// The sink outlives the control: the fixture releases the control before its members go.
class CloudTourControlTest : public HeadOnPty {
 protected:
  RecordingSink sink;
};

TEST_F(CloudTourControlTest, UnknownProtocolAnswersNoInterfaceWithoutTouchingThePort) {
  LogCapture log;
  for (int protocol : {3, -1, 1000}) {
    control_->configure(kPortIndex, 0, protocol, nullptr, 0);
    CloudTourOpParam param = OpParam(0);
    EXPECT_EQ(control_->doOP(CloudTourOpStop, &param), E_NOINTERFACE);
  }
  EXPECT_EQ(log.Count("Expression: \"hr = E_NOINTERFACE\""), 3);
  EXPECT_EQ(log.Count("File: src\\CloudTourControl"), 3);
  EXPECT_EQ(head_->takeHex(std::chrono::milliseconds(150)), "");
}

TEST_F(CloudTourControlTest, PortThatMapsToNothingFails) {
  MapComPort(kPortIndex + 1, "/tmp/kcm-ptz-no-such-device");
  LogCapture log;
  CloudTourOpParam param = OpParam(0);
  Use(kPelcoD);
  EXPECT_EQ(control_->doOP(CloudTourOpStop, &param), E_FAIL);
  EXPECT_EQ(log.Count("Expression: \"_driver->open(_comm, _addr)\""), 1);

  Use(kVisca);
  testing::internal::CaptureStderr();
  EXPECT_EQ(control_->doOP(CloudTourOpStop, &param), E_FAIL);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(src\\libvisca): cannot open serial device \\\\.\\COM21\n");
  EXPECT_EQ(log.Count("Expression: \"hr = E_FAIL\""), 1);
  EXPECT_EQ(log.Count("Expression: \"_driver->open(_comm, _addr)\""), 2);
}

TEST_F(CloudTourControlTest, ReaderHandsOverBytesBeforeAndAfterAnOperation) {
  control_->configure(kPortIndex, 0, kPelcoD, &sink, 1);
  ASSERT_TRUE(head_->write("\x90\x41\xFF"));
  EXPECT_EQ(sink.WaitFor("\x90\x41\xFF"), "\x90\x41\xFF");
  EXPECT_EQ(sink.LastControl(), control_);

  EXPECT_EQ(Send(CloudTourOpPanLeft, 6), "FF 01 00 04 3F 3F 83");
  ASSERT_TRUE(head_->write("after"));
  EXPECT_EQ(sink.WaitFor("after"), "\x90\x41\xFF" "after");
}

TEST_F(CloudTourControlTest, NoSinkNoReader) {
  const int before = ThreadCount();
  control_->configure(kPortIndex, 0, kPelcoD, nullptr, 1);
  EXPECT_EQ(ThreadCount(), before);
  EXPECT_EQ(Send(CloudTourOpStop), "FF 01 00 00 00 00 01");
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(CloudTourControlTest, ThrowingSinkDoesNotStopTheReader) {
  sink.SetThrowing();
  control_->configure(kPortIndex, 0, kVisca, &sink, 1);
  ASSERT_TRUE(head_->write("one"));
  EXPECT_EQ(sink.WaitFor("one"), "one");
  ASSERT_TRUE(head_->write("two"));
  EXPECT_EQ(sink.WaitFor("onetwo"), "onetwo");
}

// The far end dies mid-session: the reader ends, the next operation fails, release is prompt.
TEST_F(CloudTourControlTest, VanishedPortFailsCleanlyAndLeavesNoThread) {
  const int before = ThreadCount();
  control_->configure(kPortIndex, 0, kPelcoD, &sink, 1);
  EXPECT_GT(ThreadCount(), before);
  head_.reset();
  pair_.stop();
  CloudTourOpParam param = OpParam(0);
  LogCapture log;
  EXPECT_EQ(control_->doOP(CloudTourOpPanLeft, &param), E_FAIL);
  EXPECT_EQ(log.Count("Expression: \"_driver->open(_comm, _addr)\""), 1);
  EXPECT_EQ(control_->doOP(CloudTourOpStop, &param), E_FAIL);
  control_->Ex_Release();
  control_ = nullptr;
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(CloudTourControlTest, ReleaseWithARunningReaderLeavesNoThread) {
  const int before = ThreadCount();
  control_->configure(kPortIndex, 0, kVisca, &sink, 1);
  control_->configure(kPortIndex, 0, kVisca, &sink, 1);  // restarts the reader
  Send(CloudTourOpPanLeft, 0);
  control_->Ex_Release();
  control_ = nullptr;
  EXPECT_EQ(ThreadCount(), before);
}

}  // namespace
