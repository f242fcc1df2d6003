#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FilterGraphTestSupport.h"
#include "KestroFilterRegistry.h"
#include "KestroPlatformDiagnostic.h"

using test_filters::FilterGraphTest;
using test_filters::RecordingFilter;
using Entries = std::vector<std::string>;

namespace {

// {6B2B6C63-6F6D-4B31-9A1E-0000000000A1}: a YUY2 → RGB32 converter only these tests register.
DEFINE_GUID(CLSID_TestConverter, 0x6B2B6C63, 0x6F6D, 0x4B31, 0x9A, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA1);
// {6B2B6C63-6F6D-4B31-9A1E-0000000000A2}: a transform whose output fits nothing.
DEFINE_GUID(CLSID_TestDeadEnd, 0x6B2B6C63, 0x6F6D, 0x4B31, 0x9A, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA2);

HRESULT HandOut(RecordingFilter* filter, REFIID iid, void** object) {
  const HRESULT result = filter->QueryInterface(iid, object);
  filter->Release();
  return result;
}

HRESULT CreateConverter(IUnknown*, REFIID iid, void** object) {
  return HandOut((new RecordingFilter("converter", nullptr))->addInput(MEDIASUBTYPE_YUY2)->addOutput(MEDIASUBTYPE_RGB32),
                 iid, object);
}

HRESULT CreateDeadEnd(IUnknown*, REFIID iid, void** object) {
  return HandOut((new RecordingFilter("dead end", nullptr))->addInput(MEDIASUBTYPE_YUY2)->addOutput(MEDIASUBTYPE_RGB8),
                 iid, object);
}

std::vector<std::wstring> FilterNamesOf(IFilterGraph* graph) {
  std::vector<std::wstring> names;
  IEnumFilters* enumerator = nullptr;
  graph->EnumFilters(&enumerator);
  IBaseFilter* filter = nullptr;
  while (enumerator->Next(1, &filter, nullptr) == S_OK) {
    names.push_back(static_cast<RecordingFilter*>(filter)->joinedName());
    filter->Release();
  }
  enumerator->Release();
  return names;
}

std::vector<std::string> g_diagnostics;
void CollectDiagnostic(const char* text) { g_diagnostics.push_back(text); }

}  // namespace

TEST_F(FilterGraphTest, AnswersItsInterfacesOnOneIdentityAndRefusesAggregation) {
  IUnknown* identity = nullptr;
  ASSERT_EQ(graph_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  for (const GUID* iid : {&IID_IFilterGraph, &IID_IMediaControl, &IID_IMediaEvent, &IID_IMediaEventSink,
                          &IID_IMediaSeeking, &IID_IMediaFilter, &IID_IDispatch}) {
    IUnknown* other = nullptr;
    ASSERT_EQ(graph_->QueryInterface(*iid, reinterpret_cast<void**>(&other)), S_OK) << KcmGuidToString(*iid);
    IUnknown* otherIdentity = nullptr;
    other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&otherIdentity));
    EXPECT_EQ(otherIdentity, identity);
    otherIdentity->Release();
    other->Release();
  }
  void* object = nullptr;
  EXPECT_EQ(graph_->QueryInterface(IID_IPin, &object), E_NOINTERFACE);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, identity, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  identity->Release();
}

TEST_F(FilterGraphTest, TakenNamesGetANumberedSuffix) {
  RecordingFilter* first = makeFilter("a");
  RecordingFilter* second = makeFilter("b");
  RecordingFilter* third = makeFilter("c");
  RecordingFilter* unnamed = makeFilter("d");
  EXPECT_EQ(graph_->AddFilter(first, L"Capture"), S_OK);
  EXPECT_EQ(graph_->AddFilter(second, L"Capture"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(graph_->AddFilter(third, L"Capture"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(graph_->AddFilter(unnamed, nullptr), S_OK);
  EXPECT_EQ(second->joinedName(), L"Capture 0001");
  EXPECT_EQ(third->joinedName(), L"Capture 0002");
  EXPECT_FALSE(unnamed->joinedName().empty());
  EXPECT_EQ(first->graph(), static_cast<IFilterGraph*>(graph_));
  EXPECT_EQ(graph_->AddFilter(first, L"again"), E_INVALIDARG);

  IBaseFilter* found = nullptr;
  ASSERT_EQ(graph_->FindFilterByName(L"Capture 0001", &found), S_OK);
  EXPECT_EQ(found, static_cast<IBaseFilter*>(second));
  found->Release();
  EXPECT_EQ(graph_->FindFilterByName(L"Capture 0003", &found), VFW_E_NOT_FOUND);
  EXPECT_EQ(found, nullptr);
}

TEST_F(FilterGraphTest, LongNamesAreCutToFitFilterInfo) {
  const std::wstring longName(200, L'x');
  RecordingFilter* first = makeFilter("a");
  RecordingFilter* second = makeFilter("b");
  graph_->AddFilter(first, longName.c_str());
  graph_->AddFilter(second, longName.c_str());
  EXPECT_EQ(first->joinedName().size(), MAX_FILTER_NAME - 1u);
  EXPECT_EQ(second->joinedName().size(), MAX_FILTER_NAME - 1u);
  EXPECT_EQ(second->joinedName().substr(MAX_FILTER_NAME - 6), L" 0001");
}

TEST_F(FilterGraphTest, EnumeratorsGoOutOfSyncWhenTheFilterSetChanges) {
  graph_->AddFilter(makeFilter("a"), L"first");
  graph_->AddFilter(makeFilter("b"), L"second");
  EXPECT_EQ(FilterNamesOf(graph_), (std::vector<std::wstring>{L"second", L"first"})) << "newest first";

  IEnumFilters* enumerator = nullptr;
  ASSERT_EQ(graph_->EnumFilters(&enumerator), S_OK);
  IBaseFilter* filters[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(enumerator->Skip(1), S_OK);
  IEnumFilters* clone = nullptr;
  ASSERT_EQ(enumerator->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Next(3, filters, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  filters[0]->Release();

  graph_->AddFilter(makeFilter("c"), L"third");
  EXPECT_EQ(enumerator->Next(1, filters, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(enumerator->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(3, filters, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  for (IBaseFilter* filter : filters) filter->Release();
  clone->Release();
  enumerator->Release();
}

TEST_F(FilterGraphTest, FiltersChangeStateDownstreamFirstWithOneClock) {
  buildChain();
  REFERENCE_TIME before = 0;
  ASSERT_EQ(control_->Run(), S_OK);
  EXPECT_EQ(journal_.take(), (Entries{"renderer:Pause", "transform:Pause", "source:Pause", "renderer:Run",
                                      "transform:Run", "source:Run"}));
  ASSERT_NE(source_->clock(), nullptr);
  EXPECT_EQ(transform_->clock(), source_->clock());
  EXPECT_EQ(renderer_->clock(), source_->clock());
  source_->clock()->GetTime(&before);
  EXPECT_GT(source_->runStart(), 0);
  EXPECT_LE(source_->runStart(), before + 10 * 10000) << "the stream starts at most the start latency ahead";
  EXPECT_EQ(renderer_->runStart(), source_->runStart());

  OAFilterState state = -1;
  EXPECT_EQ(control_->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  EXPECT_EQ(control_->Pause(), S_OK);
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(journal_.take(), (Entries{"renderer:Pause", "transform:Pause", "source:Pause", "renderer:Stop",
                                      "transform:Stop", "source:Stop"}));
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_TRUE(journal_.take().empty()) << "stopping a stopped graph asks nothing of its filters";
}

TEST_F(FilterGraphTest, AFilterRefusingToRunLeavesTheGraphPaused) {
  buildChain();
  transform_->refuse("Run", VFW_E_WRONG_STATE);
  EXPECT_EQ(control_->Run(), VFW_E_WRONG_STATE);
  EXPECT_EQ(journal_.take(), (Entries{"renderer:Pause", "transform:Pause", "source:Pause", "renderer:Run",
                                      "transform:Run", "renderer:Pause"}));
  OAFilterState state = -1;
  control_->GetState(0, &state);
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(renderer_->state(), State_Paused);
  EXPECT_EQ(source_->state(), State_Paused);
}

TEST_F(FilterGraphTest, AFilterRefusingToPauseLeavesTheGraphStopped) {
  buildChain();
  source_->refuse("Pause");
  EXPECT_EQ(control_->Run(), E_FAIL);
  EXPECT_EQ(journal_.take(), (Entries{"renderer:Pause", "transform:Pause", "source:Pause", "renderer:Stop",
                                      "transform:Stop"}));
  OAFilterState state = -1;
  control_->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  long code = 0;
  EXPECT_EQ(events_->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
}

TEST_F(FilterGraphTest, StopReachesEveryFilterAndReportsTheFirstRefusal) {
  buildChain();
  ASSERT_EQ(control_->Run(), S_OK);
  journal_.take();
  transform_->refuse("Stop");
  EXPECT_EQ(control_->Stop(), E_FAIL);
  EXPECT_EQ(journal_.take(), (Entries{"renderer:Stop", "transform:Stop", "source:Stop"}));
  OAFilterState state = -1;
  control_->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
}

TEST_F(FilterGraphTest, ANullClockRunsWithoutOneAndTheClockCannotChangeWhileRunning) {
  buildChain();
  IMediaFilter* mediaFilter = nullptr;
  ASSERT_EQ(graph_->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&mediaFilter)), S_OK);
  ASSERT_EQ(mediaFilter->SetSyncSource(nullptr), S_OK);
  ASSERT_EQ(control_->Run(), S_OK);
  EXPECT_EQ(source_->clock(), nullptr);
  EXPECT_EQ(source_->runStart(), 0);
  EXPECT_EQ(graph_->SetDefaultSyncSource(), VFW_E_NOT_STOPPED);
  control_->Stop();
  EXPECT_EQ(graph_->SetDefaultSyncSource(), S_OK);
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(mediaFilter->GetSyncSource(&clock), S_OK);
  EXPECT_NE(clock, nullptr);
  EXPECT_EQ(renderer_->clock(), clock);
  clock->Release();
  mediaFilter->Release();
}

TEST_F(FilterGraphTest, ConnectGoesDirectWhenThePinsAgree) {
  RecordingFilter* source = makeFilter("source")->addOutput(MEDIASUBTYPE_YUY2);
  RecordingFilter* renderer = makeFilter("renderer")->addInput(MEDIASUBTYPE_YUY2);
  graph_->AddFilter(source, L"source");
  graph_->AddFilter(renderer, L"renderer");
  ASSERT_EQ(graph_->Connect(source->pin(0), renderer->pin(0)), S_OK);
  EXPECT_EQ(source->pin(0)->peer(), static_cast<IPin*>(renderer->pin(0)));
  EXPECT_EQ(graph_->Connect(renderer->pin(0), source->pin(0)), VFW_E_INVALID_DIRECTION);
}

TEST_F(FilterGraphTest, ConnectPlacesARegisteredTransformBetweenPinsThatDisagree) {
  RecordingFilter* source = makeFilter("source")->addOutput(MEDIASUBTYPE_YUY2);
  RecordingFilter* renderer = makeFilter("renderer")->addInput(MEDIASUBTYPE_RGB32);
  graph_->AddFilter(source, L"source");
  graph_->AddFilter(renderer, L"renderer");
  EXPECT_EQ(graph_->Connect(source->pin(0), renderer->pin(0)), VFW_E_CANNOT_CONNECT);

  KcmCoClassRegistration converter(CLSID_TestConverter, &CreateConverter);
  KcmCoClassRegistration deadEnd(CLSID_TestDeadEnd, &CreateDeadEnd);
  KcmRegisterTransformFilter(CLSID_TestConverter, 0x200000);
  KcmRegisterTransformFilter(CLSID_TestDeadEnd, 0x600000);
  EXPECT_EQ(graph_->Connect(source->pin(0), renderer->pin(0)), S_OK);
  KcmRevokeTransformFilter(CLSID_TestConverter);
  KcmRevokeTransformFilter(CLSID_TestDeadEnd);

  EXPECT_EQ(FilterNamesOf(graph_).size(), 3u) << "the dead end tried first left the graph again";
  IPin* converterInput = source->pin(0)->peer();
  ASSERT_NE(converterInput, nullptr);
  PIN_INFO info{};
  converterInput->QueryPinInfo(&info);
  auto* intermediate = static_cast<RecordingFilter*>(info.pFilter);
  EXPECT_EQ(intermediate->pin(1)->peer(), static_cast<IPin*>(renderer->pin(0)));
  info.pFilter->Release();
}

TEST_F(FilterGraphTest, RemovingAConnectedFilterDisconnectsBothEnds) {
  buildChain();
  ASSERT_EQ(control_->Pause(), S_OK);
  ASSERT_EQ(graph_->RemoveFilter(transform_), S_OK);
  EXPECT_EQ(source_->pin(0)->peer(), nullptr);
  EXPECT_EQ(renderer_->pin(0)->peer(), nullptr);
  EXPECT_EQ(transform_->pin(0)->peer(), nullptr);
  EXPECT_EQ(transform_->pin(1)->peer(), nullptr);
  EXPECT_EQ(transform_->graph(), nullptr);
  EXPECT_EQ(transform_->clock(), nullptr);
  EXPECT_EQ(transform_->state(), State_Stopped);
  EXPECT_EQ(graph_->RemoveFilter(transform_), VFW_E_NOT_IN_GRAPH);
  EXPECT_EQ(graph_->ConnectDirect(source_->pin(0), transform_->pin(0), nullptr), VFW_E_NOT_IN_GRAPH);
}

TEST_F(FilterGraphTest, DisconnectAndReconnectWorkOnOnePin) {
  buildChain();
  ASSERT_EQ(graph_->Reconnect(renderer_->pin(0)), S_OK);
  EXPECT_EQ(renderer_->pin(0)->peer(), static_cast<IPin*>(transform_->pin(1)));
  EXPECT_EQ(graph_->Disconnect(renderer_->pin(0)), S_OK);
  EXPECT_EQ(renderer_->pin(0)->peer(), nullptr);
  EXPECT_NE(transform_->pin(1)->peer(), nullptr) << "only the pin named is disconnected";
  EXPECT_EQ(graph_->Disconnect(transform_->pin(1)), S_OK);
  EXPECT_EQ(graph_->Reconnect(renderer_->pin(0)), VFW_E_NOT_CONNECTED);
}

TEST_F(FilterGraphTest, UnsupportedOperationsAnswerNotImplementedAndSaySo) {
  g_diagnostics.clear();
  KcmPlatformDiagnosticSink previous = KcmSetPlatformDiagnosticSink(&CollectDiagnostic);
  IBaseFilter* filter = nullptr;
  IDispatch* dispatch = nullptr;
  IMediaSeeking* seeking = nullptr;
  graph_->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
  LONGLONG duration = 0;
  BSTR file = SysAllocString(L"clip.avi");
  const HRESULT results[] = {
      graph_->Render(nullptr),
      graph_->RenderFile(L"clip.avi", nullptr),
      graph_->AddSourceFilter(L"clip.avi", L"source", &filter),
      graph_->SetLogFile(0),
      graph_->Abort(),
      graph_->ShouldOperationContinue(),
      control_->RenderFile(file),
      control_->AddSourceFilter(file, &dispatch),
      control_->get_FilterCollection(&dispatch),
      control_->get_RegFilterCollection(&dispatch),
      events_->SetNotifyWindow(1, 0, 0),
      seeking->GetDuration(&duration),
  };
  SysFreeString(file);
  seeking->Release();
  KcmSetPlatformDiagnosticSink(previous);
  for (HRESULT result : results) EXPECT_EQ(result, E_NOTIMPL);
  ASSERT_EQ(g_diagnostics.size(), std::size(results));
  EXPECT_EQ(g_diagnostics[0], "IGraphBuilder::Render is not implemented");
  EXPECT_EQ(filter, nullptr);
  EXPECT_EQ(dispatch, nullptr);
  EXPECT_EQ(events_->SetNotifyWindow(0, 0, 0), S_OK) << "clearing the window is harmless";
}

TEST_F(FilterGraphTest, SeekingSpeaksMediaTimeOnly) {
  IMediaSeeking* seeking = nullptr;
  ASSERT_EQ(graph_->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), S_OK);
  GUID format{};
  EXPECT_EQ(seeking->GetTimeFormat(&format), S_OK);
  EXPECT_EQ(format, TIME_FORMAT_MEDIA_TIME);
  EXPECT_EQ(seeking->IsFormatSupported(&FORMAT_None), S_FALSE);
  DWORD capabilities = 1;
  EXPECT_EQ(seeking->CheckCapabilities(&capabilities), E_FAIL);
  seeking->Release();
}

TEST_F(FilterGraphTest, ReleasingARunningGraphStopsAndFreesEveryFilter) {
  buildChain();
  ASSERT_EQ(control_->Run(), S_OK);
  source_->AddRef();
  EXPECT_GT(source_->Release(), 1u) << "the graph holds the filter";
  // TearDown releases the graph first and then expects each filter's last reference.
}
