// VARIANT life cycle and conversions, SAFEARRAY and the thread's error information.
#include <gtest/gtest.h>

#include "comdef.h"
#include "oleauto.h"

namespace {

VARIANT Text(const wchar_t* text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(text);
  return value;
}

VARIANT Number(VARTYPE type, long long number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = type;
  value.llVal = number;
  return value;
}

TEST(Variant, CopyIsDeepAndClearFreesTheString) {
  VARIANT source = Text(L"abc");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_NE(source.bstrVal, copy.bstrVal);
  EXPECT_STREQ(L"abc", copy.bstrVal);
  EXPECT_EQ(S_OK, VariantClear(&source));
  EXPECT_EQ(VT_EMPTY, source.vt);
  EXPECT_EQ(S_OK, VariantClear(&copy));
}

TEST(Variant, UnknownTagIsRefused) {
  VARIANT value;
  VariantInit(&value);
  value.vt = 0x0FFF;
  EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&value));
}

TEST(VariantChangeType, NumbersRoundHalfToEvenAndCheckRange) {
  VARIANT value;
  VariantInit(&value);
  VARIANT half;
  VariantInit(&half);
  half.vt = VT_R8;
  half.dblVal = 2.5;
  ASSERT_EQ(S_OK, VariantChangeType(&value, &half, 0, VT_I4));
  EXPECT_EQ(2, value.lVal);
  half.dblVal = 3.5;
  ASSERT_EQ(S_OK, VariantChangeType(&value, &half, 0, VT_I4));
  EXPECT_EQ(4, value.lVal);
  VARIANT big = Number(VT_I8, 70000);
  EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&value, &big, 0, VT_I2));
  VARIANT negative = Number(VT_I4, -1);
  negative.llVal = 0;
  negative.lVal = -1;
  EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&value, &negative, 0, VT_UI4));
}

TEST(VariantChangeType, TextParsesAndNullIsATypeMismatch) {
  VARIANT text = Text(L" 42 ");
  VARIANT value;
  VariantInit(&value);
  ASSERT_EQ(S_OK, VariantChangeType(&value, &text, 0, VT_I8));
  EXPECT_EQ(42, value.llVal);
  VARIANT word = Text(L"forty");
  EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&value, &word, 0, VT_I4));
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&value, &null, 0, VT_I4));
  VariantClear(&text);
  VariantClear(&word);
}

TEST(VariantChangeType, DecimalKeepsExactDigits) {
  VARIANT text = Text(L"-12345678901234567890.125");
  VARIANT decimal;
  VariantInit(&decimal);
  ASSERT_EQ(S_OK, VariantChangeType(&decimal, &text, 0, VT_DECIMAL));
  EXPECT_EQ(3, decimal.decVal.scale);
  EXPECT_EQ(DECIMAL_NEG, decimal.decVal.sign);
  VARIANT back;
  VariantInit(&back);
  ASSERT_EQ(S_OK, VariantChangeType(&back, &decimal, 0, VT_BSTR));
  EXPECT_STREQ(L"-12345678901234567890.125", back.bstrVal);
  VARIANT rounded;
  VariantInit(&rounded);
  EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&rounded, &decimal, 0, VT_CY));  // beyond 922337203685477
  VariantClear(&text);
  VariantClear(&back);
}

TEST(VariantChangeType, DatesTravelAsIsoText) {
  VARIANT text = Text(L"2024-02-29 13:45:10");
  VARIANT date;
  VariantInit(&date);
  ASSERT_EQ(S_OK, VariantChangeType(&date, &text, 0, VT_DATE));
  EXPECT_NEAR(45351.5730324, date.date, 1e-6);
  VARIANT back;
  VariantInit(&back);
  ASSERT_EQ(S_OK, VariantChangeType(&back, &date, 0, VT_BSTR));
  EXPECT_STREQ(L"2024-02-29 13:45:10", back.bstrVal);
  VariantClear(&text);
  VariantClear(&back);
}

TEST(VariantChangeType, BooleansFollowOleText) {
  VARIANT flag;
  VariantInit(&flag);
  flag.vt = VT_BOOL;
  flag.boolVal = VARIANT_TRUE;
  VARIANT text;
  VariantInit(&text);
  ASSERT_EQ(S_OK, VariantChangeType(&text, &flag, 0, VT_BSTR));
  EXPECT_STREQ(L"-1", text.bstrVal);
  ASSERT_EQ(S_OK, VariantChangeType(&text, &flag, VARIANT_ALPHABOOL, VT_BSTR));
  EXPECT_STREQ(L"True", text.bstrVal);
  VARIANT parsed;
  VariantInit(&parsed);
  ASSERT_EQ(S_OK, VariantChangeType(&parsed, &text, 0, VT_BOOL));
  EXPECT_EQ(VARIANT_TRUE, parsed.boolVal);
  VariantClear(&text);
}

TEST(SafeArray, BytesCopyWithTheVariantAndLockedArraysStay) {
  VARIANT bytes;
  VariantInit(&bytes);
  bytes.vt = VT_ARRAY | VT_UI1;
  bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
  ASSERT_NE(nullptr, bytes.parray);
  void* data = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAccessData(bytes.parray, &data));
  EXPECT_EQ(E_UNEXPECTED, SafeArrayDestroy(bytes.parray));
  static_cast<BYTE*>(data)[2] = 7;
  SafeArrayUnaccessData(bytes.parray);
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &bytes));
  LONG upper = 0;
  SafeArrayGetUBound(copy.parray, 1, &upper);
  EXPECT_EQ(2, upper);
  EXPECT_EQ(7, static_cast<BYTE*>(copy.parray->pvData)[2]);
  VariantClear(&bytes);
  VariantClear(&copy);
}

TEST(ErrorInfo, ComErrorTakesTheThreadsDescription) {
  ICreateErrorInfo* creator = nullptr;
  ASSERT_EQ(S_OK, CreateErrorInfo(&creator));
  creator->SetDescription(const_cast<LPOLESTR>(L"the driver said no"));
  IErrorInfo* info = KcmErrorInfoOf(creator);
  SetErrorInfo(0, info);
  info->Release();
  creator->Release();
  try {
    _com_issue_errorex(E_FAIL, nullptr, IID_NULL);
  } catch (const _com_error& error) {
    EXPECT_EQ(E_FAIL, error.Error());
    EXPECT_STREQ(L"the driver said no", static_cast<const wchar_t*>(error.Description()));
  }
  IErrorInfo* left = nullptr;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &left));
}

}  // namespace
