#include <gtest/gtest.h>

#include "KernelTestSupport.h"

using namespace kcm_test;

namespace {

class CriticalSections : public ::testing::Test {
 protected:
  void SetUp() override { InitializeCriticalSection(&section_); }
  void TearDown() override { DeleteCriticalSection(&section_); }

  // Answers what TryEnterCriticalSection answers on another thread.
  BOOL tryEnterFromAnotherThread() {
    return static_cast<BOOL>(joinThread(startThread([this] {
      BOOL entered = TryEnterCriticalSection(&section_);
      if (entered) LeaveCriticalSection(&section_);
      return static_cast<DWORD>(entered);
    })));
  }

  CRITICAL_SECTION section_;
};

}  // namespace

// Tests that the owner may enter again, with the counters following entries and leaves.
TEST_F(CriticalSections, OwnerCanReenter) {
  EnterCriticalSection(&section_);
  EXPECT_TRUE(TryEnterCriticalSection(&section_));
  EXPECT_EQ(section_.RecursionCount, 2);
  EXPECT_EQ(section_.OwningThread, GetCurrentThreadId());
  LeaveCriticalSection(&section_);
  LeaveCriticalSection(&section_);
  EXPECT_EQ(section_.RecursionCount, 0);
  EXPECT_EQ(section_.OwningThread, 0u);
}

// Tests that another thread is kept out until the owner has left every entry.
TEST_F(CriticalSections, OtherThreadIsExcludedUntilOwnerLeaves) {
  EnterCriticalSection(&section_);
  EnterCriticalSection(&section_);
  LeaveCriticalSection(&section_);
  EXPECT_FALSE(tryEnterFromAnotherThread());
  LeaveCriticalSection(&section_);
  EXPECT_TRUE(tryEnterFromAnotherThread());
}

// Tests that a thread that does not own the section cannot release it, and null is refused.
TEST_F(CriticalSections, LeaveByNonOwnerIsRefused) {
  EnterCriticalSection(&section_);
  HANDLE intruder = startThread([this] {
    LeaveCriticalSection(&section_);
    return GetLastError();
  });
  EXPECT_EQ(joinThread(intruder), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(tryEnterFromAnotherThread());
  LeaveCriticalSection(&section_);
  EXPECT_FALSE(TryEnterCriticalSection(nullptr));
  EnterCriticalSection(nullptr);
}
