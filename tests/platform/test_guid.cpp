#include <gtest/gtest.h>

#include "windows.h"

namespace {
// {73646976-0000-0010-8000-00AA00389B71}: stored as 76 69 64 73 00 00 10 00 80 00 00 AA 00 38 9B 71.
DEFINE_GUID(kVideoType, 0x73646976, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);
}  // namespace

TEST(Guid, MemoryLayoutIsLittleEndianFieldsThenBytes) {
  const uint8_t expected[16] = {0x76, 0x69, 0x64, 0x73, 0x00, 0x00, 0x10, 0x00,
                                0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(memcmp(&kVideoType, expected, 16), 0);
}

TEST(Guid, ComparesAllSixteenBytes) {
  GUID other = kVideoType;
  EXPECT_TRUE(other == kVideoType);
  other.Data4[7] ^= 1;
  EXPECT_TRUE(other != kVideoType);
  EXPECT_FALSE(IsEqualGUID(other, kVideoType));
  EXPECT_TRUE(kVideoType < other || other < kVideoType);
}

TEST(Guid, StringFormRoundTrips) {
  wchar_t text[39];
  ASSERT_EQ(StringFromGUID2(kVideoType, text, 39), 39);
  EXPECT_STREQ(text, L"{73646976-0000-0010-8000-00AA00389B71}");
  GUID parsed{};
  EXPECT_EQ(IIDFromString(L"{73646976-0000-0010-8000-00aa00389b71}", &parsed), S_OK);
  EXPECT_EQ(parsed, kVideoType);
  EXPECT_EQ(KcmGuidToString(parsed), "{73646976-0000-0010-8000-00AA00389B71}");
}

// Tests that malformed text is refused and leaves the target untouched.
TEST(Guid, MalformedTextIsRefused) {
  wchar_t small[38];
  EXPECT_EQ(StringFromGUID2(kVideoType, small, 38), 0);
  GUID target = kVideoType;
  for (const wchar_t* bad : {L"", L"73646976-0000-0010-8000-00AA00389B71", L"{73646976-0000-0010-8000-00AA00389B7}",
                             L"{73646976-0000-0010-8000-00AA00389B71}x", L"{7364697G-0000-0010-8000-00AA00389B71}",
                             L"{73646976+0000-0010-8000-00AA00389B71}", L"{73646976-0000-0010-8000-00AA00389\u00e971}"}) {
    EXPECT_EQ(CLSIDFromString(bad, &target), E_INVALIDARG) << bad;
  }
  EXPECT_EQ(CLSIDFromString(nullptr, &target), E_INVALIDARG);
  EXPECT_EQ(target, kVideoType);
}

TEST(Guid, HresultHelpersFollowTheBitLayout) {
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), E_INVALIDARG);
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_OUTOFMEMORY), E_OUTOFMEMORY);
  EXPECT_EQ(static_cast<uint32_t>(E_NOINTERFACE), 0x80004002u);
}
