#include <gtest/gtest.h>

#include "dshow.h"

// Tests that identifiers declared from four-part literals read back as the registry form
// Windows writes for them, for a sample of every header that declares some.
TEST(DShowIdentifiers, MatchTheirRegistryForms) {
  const struct {
    const GUID& id;
    const char* text;
  } table[] = {
      {IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
      {IID_IPersist, "{0000010C-0000-0000-C000-000000000046}"},
      {IID_IDispatch, "{00020400-0000-0000-C000-000000000046}"},
      {IID_IBaseFilter, "{56A86895-0AD4-11CE-B03A-0020AF0BA770}"},
      {IID_IEnumMediaTypes, "{89C31040-846B-11CE-97D3-00AA0055595A}"},
      {IID_IMemAllocatorCallbackTemp, "{379A0CF0-C1DE-11D2-ABF5-00A0C905F375}"},
      {IID_IMediaSeeking, "{36B73880-C2C8-11CF-8B46-00805F6CEF60}"},
      {IID_IMediaEventEx, "{56A868C0-0AD4-11CE-B03A-0020AF0BA770}"},
      {CLSID_FilterGraph, "{E436EBB3-524F-11CE-9F53-0020AF0BA770}"},
      {MEDIATYPE_Video, "{73646976-0000-0010-8000-00AA00389B71}"},
      {MEDIASUBTYPE_RGB565, "{E436EB7B-524F-11CE-9F53-0020AF0BA770}"},
      {MEDIASUBTYPE_MPEG2_VIDEO, "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}"},
      {FORMAT_MPEG2Video, "{E06D80E3-DB46-11CF-B4D1-00805F6CBBEA}"},
      {TIME_FORMAT_MEDIA_TIME, "{7B785574-8C82-11CF-BC0C-00AA00AC74F6}"},
  };
  for (const auto& row : table) EXPECT_EQ(KcmGuidToString(row.id), row.text);
}

TEST(DShowIdentifiers, FourCCSubtypesFollowTheLittleEndianRule) {
  EXPECT_EQ(KcmFourCCSubtype(0x32595559), MEDIASUBTYPE_YUY2);
  EXPECT_EQ(KcmFourCCSubtype(0x0001), MEDIASUBTYPE_PCM);
  EXPECT_EQ(KcmGuidToString(KcmFourCCSubtype(0x34363268)), "{34363268-0000-0010-8000-00AA00389B71}");
}
