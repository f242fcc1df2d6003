// The graph base: graph life (running object table, event thread) and the building
// blocks (filters by class, the ffdshow raw chain, connections, renderers).
#include <string.h>
#include <wchar.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "KestroDShowGraphBase.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "core/LogCapture.h"
#include "objidl.h"

namespace kcm_test {
namespace {

// Opens the base's protected parts to the tests and records the events it is given.
class ProbeGraph : public CDShowGraphBase {
 public:
  ~ProbeGraph() override { destoryGraphBuild(); }
  IGraphBuilder* graph() const { return m_pGraphBuilder; }
  ICaptureGraphBuilder2* captureBuilder() const { return m_pCaptureBuilder; }
  uint32_t rotCookie() const { return m_dwRotRegister; }

  std::atomic<long> lastCode{0};
  std::atomic<long> lastParam1{0};
  std::atomic<long> lastParam2{0};

 protected:
  void onGraphEvent(long code, long param1, long param2) override {
    lastParam1 = param1;
    lastParam2 = param2;
    lastCode = code;
  }
};

IMoniker* GraphMoniker(IUnknown* graph) {
  wchar_t name[128];
  swprintf(name, 128, L"FilterGraph %08x pid %08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph)),
           static_cast<unsigned>(GetCurrentProcessId()));
  IMoniker* moniker = nullptr;
  CreateItemMoniker(L"!", name, &moniker);
  return moniker;
}

HRESULT IsInRot(IUnknown* graph) {
  IRunningObjectTable* table = nullptr;
  EXPECT_EQ(S_OK, GetRunningObjectTable(0, &table));
  IMoniker* moniker = GraphMoniker(graph);
  const HRESULT hr = table->IsRunning(moniker);
  moniker->Release();
  table->Release();
  return hr;
}

// A source filter describing raw YV12 pictures of 176 × 144.
IBaseFilter* RawVideoSource() {
  HRESULT hr = S_OK;
  IBaseFilter* filter = nullptr;
  kcm_createInstance(CSampleSourceFilter::CreateInstance(nullptr, &hr), IID_IBaseFilter, (void**)&filter);
  ISampleSource* source = nullptr;
  filter->QueryInterface(IID_ISampleSource, (void**)&source);
  tagKestroStreamType type;
  memset(&type, 0, sizeof(type));
  type.mediaKind = AMTYPE_Video;
  type.fourCC = '2' << 24 | '1' << 16 | 'V' << 8 | 'Y';
  type.valid = 1;
  type.videoInfo.AvgTimePerFrame = 400000;
  BITMAPINFOHEADER& header = type.videoInfo.bmiHeader;
  header.biSize = sizeof(header);
  header.biWidth = 176;
  header.biHeight = 144;
  header.biPlanes = 1;
  header.biBitCount = 12;
  header.biCompression = type.fourCC;
  header.biSizeImage = 176 * 144 * 3 / 2;
  source->set_KestroStreamType(type);
  source->Release();
  return filter;
}

class GraphBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

// Tests that a registered graph is in the running object table under its moniker name
// until the graph is destroyed, and that a given graph is used as it is.
TEST_F(GraphBaseTest, RegistersTheGivenGraphInTheRunningObjectTableUntilDestroyed) {
  IGraphBuilder* own = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&own));
  ProbeGraph graph;
  ASSERT_EQ(S_OK, graph.initGraphBuild(true, own));
  EXPECT_EQ(own, graph.graph());
  EXPECT_NE(0u, graph.rotCookie());
  EXPECT_EQ(S_OK, IsInRot(own));
  IGraphBuilder* builderGraph = nullptr;
  ASSERT_EQ(S_OK, graph.captureBuilder()->GetFiltergraph(&builderGraph));
  EXPECT_EQ(own, builderGraph);
  builderGraph->Release();

  graph.destoryGraphBuild();
  EXPECT_EQ(S_FALSE, IsInRot(own));
  EXPECT_EQ(nullptr, graph.graph());
  EXPECT_EQ(0u, graph.rotCookie());
  EXPECT_EQ(0u, own->Release());  // every reference the base took is given back
}

// Tests that an unregistered graph stays out of the table and a graph can be rebuilt.
TEST_F(GraphBaseTest, UnregisteredGraphStaysOutOfTheTableAndRebuilds) {
  ProbeGraph graph;
  ASSERT_EQ(S_OK, graph.initGraphBuild(false));
  EXPECT_EQ(S_FALSE, IsInRot(graph.graph()));
  graph.destoryGraphBuild();
  graph.destoryGraphBuild();  // harmless when idle
  ASSERT_EQ(S_OK, graph.initGraphBuild(true));
  EXPECT_EQ(S_OK, IsInRot(graph.graph()));
}

// Tests that a failed start is logged and leaves the object idle (a thread outside COM
// cannot create the graph).
TEST_F(GraphBaseTest, FailedStartIsLoggedAndLeavesTheObjectIdle) {
  LogCapture log;
  ProbeGraph graph;
  HRESULT hr = S_OK;
  std::thread([&] { hr = graph.initGraphBuild(true); }).join();
  EXPECT_EQ(CO_E_NOTINITIALIZED, hr);
  EXPECT_EQ(nullptr, graph.graph());
  EXPECT_EQ(1, log.Count("\"(hr = CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, "
                         "(void **)&m_pGraphBuilder))\""));
  EXPECT_EQ(S_OK, graph.initGraphBuild(false));  // this thread is in COM
}

// Tests that an event a filter posts reaches onGraphEvent on the event thread.
TEST_F(GraphBaseTest, EventThreadHandsPostedEventsToOnGraphEvent) {
  ProbeGraph graph;
  ASSERT_EQ(S_OK, graph.initGraphBuild(false));
  IMediaEventSink* sink = nullptr;
  ASSERT_EQ(S_OK, graph.graph()->QueryInterface(IID_IMediaEventSink, (void**)&sink));
  ASSERT_EQ(S_OK, sink->Notify(EC_USER + 5, 7, 9));
  sink->Release();
  for (int wait = 0; wait < 200 && graph.lastCode != EC_USER + 5; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(EC_USER + 5, graph.lastCode);
  EXPECT_EQ(7, graph.lastParam1);
  EXPECT_EQ(9, graph.lastParam2);
  graph.destoryGraphBuild();
}

// Tests creation by class: a registered class succeeds, an unknown one fails and is logged.
TEST_F(GraphBaseTest, CreatesFiltersByClassAndLogsUnknownClasses) {
  ProbeGraph graph;
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(S_OK, graph.createFilter(CLSID_SampleRenderFilter, &filter));
  filter->Release();
  LogCapture log;
  EXPECT_TRUE(FAILED(graph.createFilter(IID_ISampleRender, &filter)));
  EXPECT_EQ(1, log.Count("\"hr = CoCreateInstance(clsidCategory, NULL, CLSCTX_INPROC_SERVER, IID_IBaseFilter, "
                         "(void **) ppOutFilter)\""));
}

// Tests the ffdshow raw chain, the renderer collection and FindInterface around it.
TEST_F(GraphBaseTest, BuildsTheFFdshowRawChainAndFindsItsRendererAndSource) {
  ProbeGraph graph;
  ASSERT_EQ(S_OK, graph.initGraphBuild(false));
  IBaseFilter* source = RawVideoSource();
  ASSERT_EQ(S_OK, graph.graph()->AddFilter(source, L"source"));
  IBaseFilter* render = nullptr;
  ASSERT_EQ(S_OK, graph.connectFFdshowFilter(1, source, &render));
  ASSERT_NE(nullptr, render);

  std::vector<IBaseFilter*> renderers;
  ASSERT_EQ(S_OK, CDShowGraphBase::gatherRenderFilter(graph.graph(), renderers));
  ASSERT_EQ(1u, renderers.size());
  EXPECT_EQ(render, renderers[0]);
  renderers[0]->Release();

  ISampleSource* found = nullptr;
  ASSERT_EQ(S_OK, graph.captureBuilder()->FindInterface(nullptr, nullptr, render, IID_ISampleSource, (void**)&found));
  found->Release();
  EXPECT_EQ(E_NOINTERFACE,
            graph.captureBuilder()->FindInterface(&LOOK_DOWNSTREAM_ONLY, nullptr, render, IID_ISampleSource, (void**)&found));
  EXPECT_EQ(nullptr, found);
  // every pin is taken now
  EXPECT_EQ(VFW_E_NOT_FOUND, CDShowGraphBase::ConnectFilters(graph.graph(), source, render));
  render->Release();
  source->Release();
  graph.destoryGraphBuild();
}

// Tests the argument checks of the static building blocks.
TEST_F(GraphBaseTest, StaticBlocksCheckTheirArguments) {
  std::vector<IBaseFilter*> renderers;
  EXPECT_EQ(E_POINTER, CDShowGraphBase::gatherRenderFilter(nullptr, renderers));
  EXPECT_EQ(E_POINTER, CDShowGraphBase::ConnectFilters(nullptr, nullptr, nullptr));
  ProbeGraph graph;
  ASSERT_EQ(S_OK, graph.initGraphBuild(false));
  EXPECT_EQ(VFW_E_NOT_FOUND, CDShowGraphBase::gatherRenderFilter(graph.graph(), renderers));
  EXPECT_EQ(E_POINTER, graph.connectFFdshowFilter(1, nullptr));
  EXPECT_TRUE(renderers.empty());
}

}  // namespace
}  // namespace kcm_test
