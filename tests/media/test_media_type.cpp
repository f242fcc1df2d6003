#include <gtest/gtest.h>

#include "FilterHarness.h"
#include "streams.h"

using kcm_test::MakeMediaType;

TEST(MediaType, StartsEmptyWithFixedOneByteSamples) {
  CMediaType type;
  EXPECT_FALSE(type.IsValid());
  EXPECT_TRUE(type.IsFixedSize());
  EXPECT_EQ(type.GetSampleSize(), 1u);
  EXPECT_TRUE(type.IsPartiallySpecified());
  type.SetVariableSize();
  EXPECT_EQ(type.GetSampleSize(), 0u);
}

TEST(MediaType, CopiesOwnTheirFormatBlock) {
  CMediaType original = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 88);
  CMediaType copy(original);
  ASSERT_NE(copy.Format(), original.Format());
  EXPECT_TRUE(copy == original);
  copy.Format()[3] = 0xEE;
  EXPECT_TRUE(copy != original);

  AM_MEDIA_TYPE* created = CreateMediaType(&original);
  ASSERT_NE(created, nullptr);
  EXPECT_NE(created->pbFormat, original.Format());
  EXPECT_EQ(memcmp(created->pbFormat, original.Format(), 88), 0);
  DeleteMediaType(created);
  DeleteMediaType(nullptr);
}

TEST(MediaType, ReallocKeepsLeadingBytesAndAllocDoesNot) {
  CMediaType type = MakeMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18);
  BYTE* grown = type.ReallocFormatBuffer(40);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(type.FormatLength(), 40u);
  for (int index = 0; index < 18; ++index) EXPECT_EQ(grown[index], index);
  EXPECT_EQ(type.AllocFormatBuffer(40), grown) << "same size: the block stays";
  type.ResetFormatBuffer();
  EXPECT_EQ(type.Format(), nullptr);
  EXPECT_EQ(type.FormatLength(), 0u);
}

TEST(MediaType, PartialTypesMatchOnTheGuidsTheySet) {
  const CMediaType full = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 16);
  const CMediaType empty;
  EXPECT_TRUE(full.MatchesPartial(&empty));
  const CMediaType videoOnly(&MEDIATYPE_Video);
  EXPECT_TRUE(full.MatchesPartial(&videoOnly));
  const CMediaType audioOnly(&MEDIATYPE_Audio);
  EXPECT_FALSE(full.MatchesPartial(&audioOnly));
  CMediaType otherFormat = MakeMediaType(MEDIATYPE_Video, GUID_NULL, FORMAT_VideoInfo, 16);
  EXPECT_TRUE(full.MatchesPartial(&otherFormat));
  otherFormat.Format()[0] = 0x55;
  EXPECT_FALSE(full.MatchesPartial(&otherFormat)) << "a given format block must match exactly";
}

TEST(MediaType, CopyingAddsAReferenceToPUnkAndFreeingDropsIt) {
  struct CountedUnknown : IUnknown {
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
    STDMETHODIMP_(ULONG) Release() override { return --count; }
    ULONG count = 1;
  } unknown;
  AM_MEDIA_TYPE source{};
  source.pUnk = &unknown;
  AM_MEDIA_TYPE copy{};
  ASSERT_EQ(CopyMediaType(&copy, &source), S_OK);
  EXPECT_EQ(unknown.count, 2u);
  FreeMediaType(copy);
  EXPECT_EQ(unknown.count, 1u);
  EXPECT_EQ(copy.pUnk, nullptr);
}

TEST(MediaType, ASourceThatClaimsAMissingFormatBlockIsRefused) {
  AM_MEDIA_TYPE broken{};
  broken.majortype = MEDIATYPE_Video;
  broken.cbFormat = 64;  // but no block
  AM_MEDIA_TYPE copy{};
  EXPECT_EQ(CopyMediaType(&copy, &broken), E_POINTER);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(CreateMediaType(&broken), nullptr);
}
