// The four entry points of "ffdshow.dll" as the library calls them, and the filters'
// COM surface.
#include <gtest/gtest.h>

#include "FFDShowTestSupport.h"

namespace kcm_test {
namespace {

const FFDShowEntry kEntries[] = {FFDShowEntry::VideoDecoder, FFDShowEntry::AudioDecoder, FFDShowEntry::VideoRaw,
                                 FFDShowEntry::AudioRaw};

// Tests that (slot, null outer, HRESULT*, 1) leaves a filter holding one reference.
TEST(FFDShowEntryPoints, LeaveAFilterWithOneReference) {
  for (FFDShowEntry entry : kEntries) {
    PFN_createTffdshowFilter create = FFDShowEntryPoint(entry);
    ASSERT_NE(nullptr, create) << "entry " << static_cast<int>(entry);
    IBaseFilter* filter = nullptr;
    HRESULT hr = E_FAIL;
    create(&filter, nullptr, &hr, 1);
    ASSERT_EQ(S_OK, hr);
    ASSERT_NE(nullptr, filter);
    EXPECT_EQ(2u, filter->AddRef());
    EXPECT_EQ(0u, filter->Release() - 1);  // back to the one reference
    EXPECT_EQ(0u, filter->Release());
  }
}

// Tests that an outer unknown is refused: no aggregation, a null slot.
TEST(FFDShowEntryPoints, RefuseAggregation) {
  IBaseFilter* outer = CreateFFDShowFilter(FFDShowEntry::VideoRaw);
  ASSERT_NE(nullptr, outer);
  IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(0x1);
  HRESULT hr = S_OK;
  FFDShowEntryPoint(FFDShowEntry::VideoDecoder)(&filter, outer, &hr, 1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, hr);
  EXPECT_EQ(nullptr, filter);
  outer->Release();
}

// Tests the filters' pins and interfaces: an input and an output pin, the settings
// interface, the media kind each reports.
TEST(FFDShowEntryPoints, FiltersHaveTwoPinsAndTheSettingsInterface) {
  const int kinds[] = {1, 2, 1, 2};
  for (int index = 0; index < 4; ++index) {
    IBaseFilter* filter = CreateFFDShowFilter(kEntries[index]);
    ASSERT_NE(nullptr, filter);
    IEnumPins* pins = nullptr;
    ASSERT_EQ(S_OK, filter->EnumPins(&pins));
    IPin* pin[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, pins->Next(3, pin, &fetched));
    EXPECT_EQ(2u, fetched);
    PIN_DIRECTION directions[2] = {};
    for (ULONG at = 0; at < fetched; ++at) {
      pin[at]->QueryDirection(&directions[at]);
      pin[at]->Release();
    }
    EXPECT_EQ(PINDIR_INPUT, directions[0]);
    EXPECT_EQ(PINDIR_OUTPUT, directions[1]);
    pins->Release();
    IKcmFFDShowSettings* settings = SettingsOf(filter);
    ASSERT_NE(nullptr, settings);
    int kind = 0;
    EXPECT_EQ(S_OK, settings->GetMediaKind(&kind));
    EXPECT_EQ(kinds[index], kind);
    settings->Release();
    EXPECT_EQ(0u, filter->Release());
  }
}

// Tests that the output pin offers nothing before the input is connected.
TEST(FFDShowEntryPoints, OutputWaitsForTheInput) {
  IBaseFilter* filter = CreateFFDShowFilter(FFDShowEntry::VideoDecoder);
  FilterHarness harness(filter);
  EXPECT_TRUE(FAILED(harness.ConnectDownstream()));
  filter->Release();
}

}  // namespace
}  // namespace kcm_test
