#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "FilterGraphTestSupport.h"

using test_filters::FilterGraphTest;
using test_filters::RecordingFilter;

namespace {

class MediaEvents : public FilterGraphTest {
 protected:
  void SetUp() override {
    FilterGraphTest::SetUp();
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink_)), S_OK);
    OAEVENT event = 0;
    ASSERT_EQ(events_->GetEventHandle(&event), S_OK);
    handle_ = reinterpret_cast<HANDLE>(event);
  }
  void TearDown() override {
    sink_->Release();
    FilterGraphTest::TearDown();
  }

  bool signalled() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

  // Two sources, each feeding a renderer of its own.
  void buildTwoRenderers() {
    first_ = makeFilter("renderer 1")->addInput(MEDIASUBTYPE_YUY2);
    second_ = makeFilter("renderer 2")->addInput(MEDIASUBTYPE_YUY2);
    for (RecordingFilter* renderer : {first_, second_}) {
      RecordingFilter* source = makeFilter("source")->addOutput(MEDIASUBTYPE_YUY2);
      graph_->AddFilter(source, nullptr);
      graph_->AddFilter(renderer, nullptr);
      ASSERT_EQ(graph_->ConnectDirect(source->pin(0), renderer->pin(0), nullptr), S_OK);
    }
  }

  IMediaEventSink* sink_ = nullptr;
  HANDLE handle_ = nullptr;
  RecordingFilter* first_ = nullptr;
  RecordingFilter* second_ = nullptr;
};

}  // namespace

TEST_F(MediaEvents, GetEventTimesOutWithEAbortOnAnEmptyQueue) {
  long code = -1;
  LONG_PTR param1 = -1, param2 = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(events_->GetEvent(&code, &param1, &param2, 30), E_ABORT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_EQ(events_->GetEvent(&code, &param1, &param2, 0), E_ABORT);
  EXPECT_EQ(events_->GetEvent(nullptr, &param1, &param2, 0), E_POINTER);
  EXPECT_FALSE(signalled());
}

TEST_F(MediaEvents, TheHandleIsSignalledExactlyWhileEventsAreQueued) {
  sink_->Notify(EC_USER, 1, 2);
  sink_->Notify(EC_USER + 1, 3, 4);
  EXPECT_TRUE(signalled());
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  ASSERT_EQ(events_->GetEvent(&code, &param1, &param2, 0), S_OK);
  EXPECT_EQ(code, EC_USER);
  EXPECT_EQ(param1, 1);
  EXPECT_EQ(param2, 2);
  EXPECT_TRUE(signalled());
  ASSERT_EQ(events_->GetEvent(&code, &param1, &param2, 0), S_OK);
  EXPECT_EQ(code, EC_USER + 1);
  EXPECT_EQ(events_->FreeEventParams(code, param1, param2), S_OK);
  EXPECT_FALSE(signalled());
}

TEST_F(MediaEvents, AWaitingReaderWakesWhenAFilterNotifiesFromAnotherThread) {
  std::thread notifier([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sink_->Notify(EC_ERRORABORT, E_FAIL, 0);
  });
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  EXPECT_EQ(events_->GetEvent(&code, &param1, &param2, INFINITE), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  EXPECT_EQ(param1, E_FAIL);
  notifier.join();
}

TEST_F(MediaEvents, OneCompletionIsQueuedAfterEveryConnectedRendererReportedIt) {
  buildTwoRenderers();
  graph_->AddFilter(makeFilter("unconnected renderer")->addInput(MEDIASUBTYPE_YUY2), nullptr);
  ASSERT_EQ(control_->Run(), S_OK);
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  first_->reportComplete();
  EXPECT_EQ(events_->GetEvent(&code, &param1, &param2, 0), E_ABORT) << "one renderer is still playing";
  EXPECT_EQ(events_->WaitForCompletion(0, &code), E_ABORT);

  std::thread second([this] { second_->reportComplete(); });
  EXPECT_EQ(events_->WaitForCompletion(INFINITE, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  second.join();
  ASSERT_EQ(events_->GetEvent(&code, &param1, &param2, 0), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(param1, S_OK);
  EXPECT_EQ(param2, 0);
  first_->reportComplete();
  EXPECT_EQ(events_->GetEvent(&code, &param1, &param2, 0), E_ABORT) << "the session completed once";
}

TEST_F(MediaEvents, ARendererFailureIsTheCompletionStatus) {
  buildTwoRenderers();
  ASSERT_EQ(control_->Run(), S_OK);
  first_->reportComplete(VFW_E_SAMPLE_REJECTED);
  second_->reportComplete();
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  ASSERT_EQ(events_->GetEvent(&code, &param1, &param2, 0), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(param1, VFW_E_SAMPLE_REJECTED);
}

TEST_F(MediaEvents, WithDefaultHandlingCancelledEachRendererCompletionIsQueued) {
  buildTwoRenderers();
  EXPECT_EQ(events_->CancelDefaultHandling(EC_COMPLETE), S_OK);
  EXPECT_EQ(events_->CancelDefaultHandling(EC_REPAINT), E_INVALIDARG);
  ASSERT_EQ(control_->Run(), S_OK);
  first_->reportComplete();
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  ASSERT_EQ(events_->GetEvent(&code, &param1, &param2, 0), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(param2, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(first_)));
  EXPECT_EQ(events_->RestoreDefaultHandling(EC_COMPLETE), S_OK);
}

TEST_F(MediaEvents, WaitForCompletionNeedsARunningGraphAndEndsWhenItStops) {
  buildTwoRenderers();
  long code = -1;
  EXPECT_EQ(events_->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(control_->Run(), S_OK);
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    control_->Stop();
  });
  EXPECT_EQ(events_->WaitForCompletion(INFINITE, &code), VFW_E_WRONG_STATE);
  stopper.join();
}

TEST_F(MediaEvents, NoNotifyDropsQueuedEventsAndQueuesNone) {
  sink_->Notify(EC_USER, 0, 0);
  ASSERT_EQ(events_->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY), S_OK);
  EXPECT_FALSE(signalled());
  sink_->Notify(EC_USER, 0, 0);
  long flags = 0;
  EXPECT_EQ(events_->GetNotifyFlags(&flags), S_OK);
  EXPECT_EQ(flags, AM_MEDIAEVENT_NONOTIFY);
  EXPECT_EQ(events_->SetNotifyFlags(0x10), E_INVALIDARG);
  ASSERT_EQ(events_->SetNotifyFlags(0), S_OK);
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  EXPECT_EQ(events_->GetEvent(&code, &param1, &param2, 0), E_ABORT);
}

TEST_F(MediaEvents, OleEventParametersAreFreedAsStrings) {
  sink_->Notify(EC_OLE_EVENT, reinterpret_cast<LONG_PTR>(SysAllocString(L"name")),
                reinterpret_cast<LONG_PTR>(SysAllocString(L"value")));
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  ASSERT_EQ(events_->GetEvent(&code, &param1, &param2, 0), S_OK);
  EXPECT_EQ(events_->FreeEventParams(code, param1, param2), S_OK);  // ASan reports a leak otherwise
}
