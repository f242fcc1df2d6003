#include <gtest/gtest.h>

#include "KernelTestSupport.h"

using namespace kcm_test;

// Tests that each thread sees its own value in a slot, null until it sets one, and that
// TlsGetValue sets the last error to ERROR_SUCCESS on success, as on Windows.
TEST(ThreadLocalStorage, ValuesArePerThread) {
  DWORD index = TlsAlloc();
  int mine = 1;
  EXPECT_TRUE(TlsSetValue(index, &mine));
  HANDLE other = startThread([index] {
    SetLastError(ERROR_TIMEOUT);
    return TlsGetValue(index) == nullptr && GetLastError() == ERROR_SUCCESS ? 1u : 0u;
  });
  EXPECT_EQ(joinThread(other), 1u);
  EXPECT_EQ(TlsGetValue(index), &mine);
  TlsFree(index);
}

// Tests that freed and never-allocated indexes are refused with ERROR_INVALID_PARAMETER.
TEST(ThreadLocalStorage, UnallocatedIndexIsRefused) {
  DWORD index = TlsAlloc();
  EXPECT_TRUE(TlsFree(index));
  EXPECT_FALSE(TlsFree(index));
  EXPECT_FALSE(TlsSetValue(index, nullptr));
  EXPECT_EQ(TlsGetValue(TLS_OUT_OF_INDEXES), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
