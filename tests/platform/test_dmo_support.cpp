// The DMO registry, the DMO media-type helpers and property values.
#include <gtest/gtest.h>

#include <wchar.h>

#include "dmodshow.h"
#include "propsys.h"
#include "wmcodecdsp.h"

namespace {

// {0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}
DEFINE_GUID(CLSID_RegistryTestDmo, 0x0A1B2C3D, 0x4E5F, 0x4061, 0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9);

TEST(DmoIdentifiers, MatchTheirRegistryForms) {
  const struct {
    const GUID& id;
    const char* text;
  } table[] = {
      {IID_IMediaObject, "{D8AD0F58-5494-4102-97C5-EC798E59BCF4}"},
      {IID_IMediaBuffer, "{59EFF8B9-938C-4A26-82F2-95CB84CDC837}"},
      {IID_IDMOWrapperFilter, "{52D6F586-9F0F-4824-8FC8-E32CA04930C2}"},
      {IID_IPropertyStore, "{886D8EEB-8CF2-4446-8D02-CDBA1DBDCF99}"},
      {DMOCATEGORY_VIDEO_EFFECT, "{D990EE14-776C-4723-BE46-3DA2F56F10B9}"},
      {MFPKEY_CONV_INPUTFRAMERATE.fmtid, "{52F8D29B-2E76-43F7-A4F6-1717904E35DF}"},
  };
  for (const auto& row : table) EXPECT_EQ(KcmGuidToString(row.id), row.text);
  EXPECT_EQ(MFPKEY_CONV_INPUTFRAMERATE.pid, 1u);
  EXPECT_EQ(MFPKEY_CONV_OUTPUTFRAMERATE.pid, 2u);
}

TEST(DmoRegistry, RegistersPerCategoryAndNamesTheClass) {
  EXPECT_EQ(KcmDMOIsRegistered(CLSID_RegistryTestDmo, DMOCATEGORY_VIDEO_EFFECT), S_FALSE);
  WCHAR name[80];
  EXPECT_EQ(DMOGetName(CLSID_RegistryTestDmo, name), E_FAIL);

  ASSERT_EQ(DMORegister(L"Registry test", CLSID_RegistryTestDmo, DMOCATEGORY_VIDEO_EFFECT, 0, 0, nullptr, 0, nullptr),
            S_OK);
  EXPECT_EQ(KcmDMOIsRegistered(CLSID_RegistryTestDmo, DMOCATEGORY_VIDEO_EFFECT), S_OK);
  EXPECT_EQ(KcmDMOIsRegistered(CLSID_RegistryTestDmo, DMOCATEGORY_AUDIO_EFFECT), S_FALSE);
  EXPECT_EQ(DMOGetName(CLSID_RegistryTestDmo, name), S_OK);
  EXPECT_STREQ(name, L"Registry test");

  EXPECT_EQ(DMOUnregister(CLSID_RegistryTestDmo, DMOCATEGORY_VIDEO_EFFECT), S_OK);
  EXPECT_EQ(DMOUnregister(CLSID_RegistryTestDmo, DMOCATEGORY_VIDEO_EFFECT), S_FALSE);
  EXPECT_EQ(KcmDMOIsRegistered(CLSID_RegistryTestDmo, DMOCATEGORY_VIDEO_EFFECT), S_FALSE);
}

TEST(DmoMediaType, CopiesAreDeepAndFreeingLeavesAnEmptyFormat) {
  DMO_MEDIA_TYPE* original = nullptr;
  ASSERT_EQ(MoCreateMediaType(&original, 8), S_OK);
  ASSERT_NE(original->pbFormat, nullptr);
  EXPECT_EQ(original->cbFormat, 8u);
  memset(original->pbFormat, 0x5A, 8);

  DMO_MEDIA_TYPE* copy = nullptr;
  ASSERT_EQ(MoDuplicateMediaType(&copy, original), S_OK);
  EXPECT_NE(copy->pbFormat, original->pbFormat);
  EXPECT_EQ(memcmp(copy->pbFormat, original->pbFormat, 8), 0);

  EXPECT_EQ(MoFreeMediaType(copy), S_OK);
  EXPECT_EQ(copy->pbFormat, nullptr);
  EXPECT_EQ(copy->cbFormat, 0u);
  EXPECT_EQ(MoDeleteMediaType(copy), S_OK);
  EXPECT_EQ(MoDeleteMediaType(original), S_OK);

  DMO_MEDIA_TYPE empty;
  EXPECT_EQ(MoInitMediaType(&empty, 0), S_OK);
  EXPECT_EQ(empty.pbFormat, nullptr);
}

TEST(PropVariant, ClearFreesStringsAndRefusesUnknownTypes) {
  PROPVARIANT text;
  PropVariantInit(&text);
  text.vt = VT_LPWSTR;
  text.pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(4 * sizeof(wchar_t)));
  wcscpy(text.pwszVal, L"abc");
  PROPVARIANT copy;
  ASSERT_EQ(PropVariantCopy(&copy, &text), S_OK);
  EXPECT_NE(copy.pwszVal, text.pwszVal);
  EXPECT_STREQ(copy.pwszVal, L"abc");
  EXPECT_EQ(PropVariantClear(&text), S_OK);
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(PropVariantClear(&copy), S_OK);

  PROPVARIANT odd;
  PropVariantInit(&odd);
  odd.vt = VT_VARIANT;
  EXPECT_EQ(PropVariantClear(&odd), DISP_E_BADVARTYPE);
}

}  // namespace
