// The sample source and render filters in a real filter graph, as the transform graphs
// use them: the host writes frames into the source, the graph carries them (through a
// pass-through filter or straight) to the render filter, whose sink hands them back.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "ComConformance.h"
#include "PassThroughTestFilter.h"
#include "SampleSinkRecorder.h"
#include "SourceRenderGraph.h"
#include "StreamRecords.h"
#include "control.h"

using Kestro::makeFourCC;
using kcm_test::PassThroughTestFilter;
using kcm_test::SourceRenderGraph;
using kcm_test::VideoRecord;

namespace {

using kcm_test::Create;
using kcm_test::Query;

const LONG kWidth = 64;
const LONG kHeight = 48;
const DWORD kFrameBytes = kWidth * kHeight * 2;

// The first pin of `filter` pointing in `direction`, with a reference.
IPin* PinOf(IBaseFilter* filter, PIN_DIRECTION direction) {
  IEnumPins* pins = nullptr;
  filter->EnumPins(&pins);
  IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    pin->QueryDirection(&pinDirection);
    if (pinDirection == direction) break;
    pin->Release();
    pin = nullptr;
  }
  pins->Release();
  return pin;
}

std::vector<BYTE> Frame(BYTE seed, size_t size = kFrameBytes) {
  std::vector<BYTE> frame(size);
  for (size_t index = 0; index < size; ++index) frame[index] = static_cast<BYTE>(seed * 31 + index);
  return frame;
}

struct SampleGraph : testing::Test, SourceRenderGraph {
  SampleGraph() : SourceRenderGraph(VideoRecord(makeFourCC("YUY2"), kWidth, kHeight, kFrameBytes)) {
    sourceOut = PinOf(sourceFilter, PINDIR_OUTPUT);
    renderIn = PinOf(renderFilter, PINDIR_INPUT);
  }
  // The graph holds the pass-through filter too, and stops it when the base goes.
  ~SampleGraph() override {
    for (IUnknown* object : std::initializer_list<IUnknown*>{sourceOut, renderIn, passThrough}) {
      if (object != nullptr) object->Release();
    }
  }

  // source → pass-through → render
  void ConnectThroughPassThrough() {
    passThrough = PassThroughTestFilter::Create();
    ASSERT_EQ(graph->AddFilter(passThrough, L"PassThrough"), S_OK);
    ASSERT_EQ(graph->Connect(sourceOut, &passThrough->input), S_OK);
    ASSERT_EQ(graph->Connect(&passThrough->output, renderIn), S_OK);
  }

  HRESULT Write(const std::vector<BYTE>& frame, REFERENCE_TIME start, REFERENCE_TIME end) {
    return source->streamOutData(0, start, end, const_cast<BYTE*>(frame.data()), static_cast<DWORD>(frame.size()));
  }

  // Writes `count` frames 40 ms apart and checks they come back in order with their times.
  void StreamAndCheck(int count) {
    for (int index = 0; index < count; ++index) {
      ASSERT_EQ(Write(Frame(static_cast<BYTE>(index)), index * 400000LL, (index + 1) * 400000LL), S_OK);
    }
    ASSERT_TRUE(sink.WaitFor(count));
    const std::vector<kcm_test::RenderedSample> received = sink.Received();
    ASSERT_EQ(received.size(), static_cast<size_t>(count));
    for (int index = 0; index < count; ++index) {
      SCOPED_TRACE(index);
      EXPECT_EQ(received[index].bytes, Frame(static_cast<BYTE>(index)));
      EXPECT_EQ(received[index].start, index * 400000LL);
      EXPECT_EQ(received[index].end, (index + 1) * 400000LL);
      EXPECT_EQ(received[index].render, render);
      EXPECT_EQ(received[index].mediaKind, AMTYPE_Video);
      const tagKestroStreamType& described = received[index].streamType;
      EXPECT_EQ(described.valid, 1u);
      EXPECT_EQ(described.fourCC, makeFourCC("YUY2"));
      EXPECT_EQ(described.videoInfo.bmiHeader.biWidth, kWidth);
      EXPECT_EQ(described.videoInfo.bmiHeader.biHeight, kHeight);
      EXPECT_EQ(described.videoInfo.AvgTimePerFrame, 400000);
    }
  }

  IPin* sourceOut = nullptr;
  IPin* renderIn = nullptr;
  PassThroughTestFilter* passThrough = nullptr;
};

TEST_F(SampleGraph, FramesComeBackThroughATransformInOrderWithTheirTimes) {
  ConnectThroughPassThrough();
  ASSERT_EQ(control->Run(), S_OK);
  StreamAndCheck(12);
  ASSERT_EQ(control->Stop(), S_OK);
}

TEST_F(SampleGraph, FramesComeBackStraightFromSourceToRender) {
  ASSERT_EQ(graph->Connect(sourceOut, renderIn), S_OK);
  ASSERT_EQ(control->Run(), S_OK);
  StreamAndCheck(12);
  ASSERT_EQ(control->Stop(), S_OK);
  ASSERT_EQ(control->Run(), S_OK) << "a graph runs again after a stop";
  ASSERT_EQ(Write(Frame(1), -1, -1), S_OK);
  EXPECT_TRUE(sink.WaitFor(13));
}

TEST_F(SampleGraph, FilledSamplesAreDeliveredOrDroppedOnNotification) {
  ConnectThroughPassThrough();
  ASSERT_EQ(control->Run(), S_OK);
  IMediaSample* samples[3] = {};
  for (int index = 0; index < 3; ++index) {
    const std::vector<BYTE> frame = Frame(static_cast<BYTE>(index));
    ASSERT_EQ(source->fillMediaSample(0, index * 10, index * 10 + 10, const_cast<BYTE*>(frame.data()), kFrameBytes,
                                      &samples[index]),
              S_OK);
  }
  EXPECT_EQ(source->notifyMediaSample(samples[2], 0), S_OK);
  EXPECT_EQ(source->notifyMediaSample(samples[1], 1), S_OK);
  EXPECT_EQ(source->notifyMediaSample(samples[0], 0), S_OK);
  ASSERT_TRUE(sink.WaitFor(2));
  const std::vector<kcm_test::RenderedSample> received = sink.Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].bytes, Frame(2)) << "delivered in the order of the notifications";
  EXPECT_EQ(received[0].start, 20);
  EXPECT_EQ(received[1].bytes, Frame(0));
}

TEST_F(SampleGraph, RefusesMismatchedTypesAndSecondConnections) {
  tagKestroStreamType other = VideoRecord(makeFourCC("YUY2"), kWidth / 2, kHeight / 2, 0);
  render->put_KestroStreamType(other);
  EXPECT_EQ(graph->ConnectDirect(sourceOut, renderIn, nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_EQ(graph->Connect(sourceOut, renderIn), VFW_E_CANNOT_CONNECT) << "and no transform in between helps";
  render->put_KestroStreamType(record);
  ASSERT_EQ(graph->Connect(sourceOut, renderIn), S_OK);
  EXPECT_EQ(graph->Connect(sourceOut, renderIn), VFW_E_ALREADY_CONNECTED);
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(graph->Disconnect(sourceOut), VFW_E_NOT_STOPPED);
}

TEST_F(SampleGraph, DropsFramesTooLargeForTheNegotiatedBuffers) {
  ASSERT_EQ(graph->Connect(sourceOut, renderIn), S_OK);
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(Write(Frame(1, kFrameBytes + 1), 0, 1), S_OK);
  IMediaSample* sample = nullptr;
  const std::vector<BYTE> frame = Frame(1, kFrameBytes + 1);
  EXPECT_EQ(source->fillMediaSample(0, 0, 1, const_cast<BYTE*>(frame.data()), kFrameBytes + 1, &sample), E_FAIL);
  ASSERT_EQ(Write(Frame(2), 0, 1), S_OK);
  ASSERT_TRUE(sink.WaitFor(1));
  EXPECT_EQ(sink.Received()[0].bytes, Frame(2)) << "only the frame that fits arrives";
}

TEST_F(SampleGraph, UnconnectedFiltersRunButCarryNothing) {
  EXPECT_EQ(control->Run(), S_OK);
  EXPECT_EQ(Write(Frame(1), 0, 1), E_FAIL);
  IMediaSample* sample = nullptr;
  std::vector<BYTE> frame = Frame(1);
  EXPECT_TRUE(FAILED(source->fillMediaSample(0, 0, 1, frame.data(), kFrameBytes, &sample)));
  EXPECT_TRUE(sink.Received().empty());
}

// The host's writer: `count` frames from its own thread. With the sink holding every
// buffer, its last write waits for one; stopping the graph (or releasing it) decommits the
// allocators, which wakes it. Its writes are counted so that nothing else races with the
// graph's teardown.
struct Writer {
  Writer(SampleGraph& graph, int count)
      : thread([this, &graph, count] {
          for (int index = 0; index < count; ++index) {
            results.push_back(graph.Write(Frame(static_cast<BYTE>(index)), index, index + 1));
          }
          done = true;
        }) {}
  ~Writer() { Join(); }

  // The results of every write, once all are done.
  std::vector<HRESULT> Join() {
    if (thread.joinable()) thread.join();
    return results;
  }

  std::atomic<bool> done{false};

 private:
  std::vector<HRESULT> results;
  std::thread thread;
};

TEST_F(SampleGraph, StoppingWakesAWriterWaitingForABuffer) {
  sink.keepSamples = true;
  ASSERT_EQ(graph->Connect(sourceOut, renderIn), S_OK);
  ASSERT_EQ(control->Run(), S_OK);
  std::vector<HRESULT> results;
  {
    Writer writer(*this, 5);
    ASSERT_TRUE(sink.WaitFor(4)) << "four buffers, all held by the sink";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(writer.done.load()) << "the fifth write waits";
    ASSERT_EQ(control->Stop(), S_OK);
    results = writer.Join();
  }
  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK, S_OK, S_OK, E_FAIL})) << "woken without a buffer";
  EXPECT_EQ(sink.Received().size(), 4u);
  sink.ReleaseKept();
}

TEST_F(SampleGraph, ReleasingARunningGraphStopsItAndLeaksNothing) {
  sink.keepSamples = true;
  ConnectThroughPassThrough();
  ASSERT_EQ(control->Run(), S_OK);
  {
    // The pass-through has one output buffer: the second frame waits for it inside the
    // pass-through, on the writer's thread.
    Writer writer(*this, 2);
    ASSERT_TRUE(sink.WaitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(writer.done.load());
    control->Release();
    control = nullptr;
    EXPECT_EQ(graph->Release(), 0u);
    graph = nullptr;
  }
  EXPECT_EQ(sink.Received().size(), 1u);
  // The sink still holds a sample of an allocator whose connection is gone: the
  // allocator goes with the sample.
  sink.ReleaseKept();
}

}  // namespace
