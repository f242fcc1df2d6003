#include <gtest/gtest.h>
#include <stdlib.h>

#include "KestroSystemHelpers.h"

namespace {

std::wstring expanded(const char* value) {
  setenv("KCM_TEST_ROOT", "/opt/root", 1);
  setenv("KCM_TEST_VALUE", value, 1);
  return kcm_getEnv(L"KCM_TEST_VALUE");
}

}  // namespace

// Tests Windows' expansion: known references expand, unknown ones stay as written and
// their closing '%' may open the next reference; missing variables read empty.
TEST(Environment, GetEnvExpandsReferences) {
  EXPECT_EQ(expanded("%KCM_TEST_ROOT%/x"), L"/opt/root/x");
  EXPECT_EQ(expanded("%KCM_NO_SUCH_VARIABLE%/y"), L"%KCM_NO_SUCH_VARIABLE%/y");
  EXPECT_EQ(expanded("%KCM_NO_SUCH_VARIABLE%KCM_TEST_ROOT%"), L"%KCM_NO_SUCH_VARIABLE/opt/root");
  EXPECT_EQ(expanded("100% sure"), L"100% sure");
  EXPECT_EQ(kcm_getEnv(L"KCM_NO_SUCH_VARIABLE"), L"");
  EXPECT_EQ(kcm_getEnv(nullptr), L"");
}

// Tests setting (UTF-8 in the environment) and removing; bad names do nothing.
TEST(Environment, SetEnvSetsAndRemoves) {
  kcm_setEnv(L"KCM_TEST_VALUE", L"caf\u00e9");
  EXPECT_STREQ(getenv("KCM_TEST_VALUE"), "caf\xc3\xa9");
  kcm_setEnv(L"KCM_TEST_VALUE", nullptr);
  EXPECT_EQ(getenv("KCM_TEST_VALUE"), nullptr);
  kcm_setEnv(L"KCM_TEST=VALUE", L"x");
  EXPECT_EQ(getenv("KCM_TEST"), nullptr);
  kcm_setEnv(nullptr, L"x");
}
