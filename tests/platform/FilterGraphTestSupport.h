// A graph created through COM for each test, and the leak check of the test doubles.
#pragma once

#include <gtest/gtest.h>

#include "RecordingFilter.h"
#include "dshow.h"

namespace test_filters {

class FilterGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph_)),
              S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control_)), S_OK);
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events_)), S_OK);
  }

  void TearDown() override {
    events_->Release();
    control_->Release();
    EXPECT_EQ(graph_->Release(), 0u);
    for (RecordingFilter* filter : filters_) EXPECT_EQ(filter->Release(), 0u) << "the graph kept a reference";
    EXPECT_EQ(RecordingFilter::live().load(), 0);
    CoUninitialize();
  }

  // A filter owned by the test (one reference, released at tear-down).
  RecordingFilter* makeFilter(const char* name) {
    filters_.push_back(new RecordingFilter(name, &journal_));
    return filters_.back();
  }

  // source (YUY2 out) → transform (YUY2 in, YUY2 out) → renderer (YUY2 in), added out of
  // order and connected.
  void buildChain() {
    source_ = makeFilter("source")->addOutput(MEDIASUBTYPE_YUY2);
    transform_ = makeFilter("transform")->addInput(MEDIASUBTYPE_YUY2)->addOutput(MEDIASUBTYPE_YUY2);
    renderer_ = makeFilter("renderer")->addInput(MEDIASUBTYPE_YUY2);
    ASSERT_EQ(graph_->AddFilter(transform_, L"transform"), S_OK);
    ASSERT_EQ(graph_->AddFilter(source_, L"source"), S_OK);
    ASSERT_EQ(graph_->AddFilter(renderer_, L"renderer"), S_OK);
    ASSERT_EQ(graph_->ConnectDirect(source_->pin(0), transform_->pin(0), nullptr), S_OK);
    ASSERT_EQ(graph_->ConnectDirect(transform_->pin(1), renderer_->pin(0), nullptr), S_OK);
  }

  IGraphBuilder* graph_ = nullptr;
  IMediaControl* control_ = nullptr;
  IMediaEventEx* events_ = nullptr;
  Journal journal_;
  RecordingFilter* source_ = nullptr;
  RecordingFilter* transform_ = nullptr;
  RecordingFilter* renderer_ = nullptr;

 private:
  std::vector<RecordingFilter*> filters_;
};

}  // namespace test_filters
