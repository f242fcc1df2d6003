// A filter graph holding a sample source filter and a sample render filter, not yet
// connected: the render's sink records what arrives, the source describes `record`.
// Fixtures of graph tests derive from it; it stops the graph and releases it all.
#pragma once

#include <initializer_list>

#include "ComConformance.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "SampleSinkRecorder.h"
#include "control.h"

namespace kcm_test {

struct SourceRenderGraph {
  explicit SourceRenderGraph(const tagKestroStreamType& streamType) : record(streamType) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    control = Query<IMediaControl>(graph, IID_IMediaControl);
    sourceFilter = Create<IBaseFilter>(CLSID_SampleSourceFilter, IID_IBaseFilter);
    renderFilter = Create<IBaseFilter>(CLSID_SampleRenderFilter, IID_IBaseFilter);
    source = Query<ISampleSource>(sourceFilter, IID_ISampleSource);
    render = Query<ISampleRender>(renderFilter, IID_ISampleRender);
    EXPECT_EQ(graph->AddFilter(sourceFilter, L"Source"), S_OK);
    EXPECT_EQ(graph->AddFilter(renderFilter, L"Render"), S_OK);
    render->put_SampleRenderSink(&sink);
    source->set_KestroStreamType(record);
  }
  ~SourceRenderGraph() {
    if (control != nullptr) control->Stop();
    for (IUnknown* object : std::initializer_list<IUnknown*>{source, render, control, graph, sourceFilter, renderFilter}) {
      if (object != nullptr) object->Release();
    }
    CoUninitialize();
  }
  SourceRenderGraph(const SourceRenderGraph&) = delete;
  SourceRenderGraph& operator=(const SourceRenderGraph&) = delete;

  tagKestroStreamType record;
  SampleSinkRecorder sink;
  IGraphBuilder* graph = nullptr;
  IMediaControl* control = nullptr;
  IBaseFilter* sourceFilter = nullptr;
  IBaseFilter* renderFilter = nullptr;
  ISampleSource* source = nullptr;
  ISampleRender* render = nullptr;
};

}  // namespace kcm_test
