#include <gtest/gtest.h>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;

// Tests that each thread sees its own value in a slot, null until it sets one.
TEST(ThreadLocalStorage, ValuesArePerThread) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  int mine = 1;
  EXPECT_TRUE(TlsSetValue(index, &mine));
  HANDLE other = startThread([index] {
    int theirs = 2;
    DWORD sawNull = TlsGetValue(index) == nullptr;
    TlsSetValue(index, &theirs);
    return sawNull && TlsGetValue(index) == &theirs ? DWORD{1} : DWORD{0};
  });
  EXPECT_EQ(joinThread(other), 1u);
  EXPECT_EQ(TlsGetValue(index), &mine);
  TlsFree(index);
}

// Tests that TlsGetValue sets the last error to ERROR_SUCCESS on success, as on Windows.
TEST(ThreadLocalStorage, GetValueClearsLastErrorOnSuccess) {
  DWORD index = TlsAlloc();
  SetLastError(ERROR_TIMEOUT);
  EXPECT_EQ(TlsGetValue(index), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  TlsFree(index);
}

// Tests that freed and never-allocated indexes are refused with ERROR_INVALID_PARAMETER.
TEST(ThreadLocalStorage, UnallocatedIndexIsRefused) {
  DWORD index = TlsAlloc();
  EXPECT_TRUE(TlsFree(index));
  EXPECT_FALSE(TlsFree(index));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(TlsSetValue(index, nullptr));
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(TlsGetValue(index), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TlsGetValue(TLS_OUT_OF_INDEXES), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
