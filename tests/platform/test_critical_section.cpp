#include <gtest/gtest.h>

#include <atomic>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;

namespace {

class CriticalSections : public ::testing::Test {
 protected:
  void SetUp() override { InitializeCriticalSection(&section_); }
  void TearDown() override { DeleteCriticalSection(&section_); }

  // Answers what TryEnterCriticalSection answers on another thread.
  BOOL tryEnterFromAnotherThread() {
    HANDLE thread = startThread([this] {
      BOOL entered = TryEnterCriticalSection(&section_);
      if (entered) LeaveCriticalSection(&section_);
      return static_cast<DWORD>(entered);
    });
    return static_cast<BOOL>(joinThread(thread));
  }

  CRITICAL_SECTION section_;
};

}  // namespace

// Tests that the owner may enter again, and that the counters follow entries and leaves.
TEST_F(CriticalSections, OwnerCanReenter) {
  EnterCriticalSection(&section_);
  EXPECT_TRUE(TryEnterCriticalSection(&section_));
  EXPECT_EQ(section_.RecursionCount, 2);
  EXPECT_EQ(section_.OwningThread, GetCurrentThreadId());
  LeaveCriticalSection(&section_);
  EXPECT_EQ(section_.RecursionCount, 1);
  LeaveCriticalSection(&section_);
  EXPECT_EQ(section_.RecursionCount, 0);
  EXPECT_EQ(section_.OwningThread, 0u);
}

// Tests that another thread is kept out until the owner has left every entry.
TEST_F(CriticalSections, OtherThreadIsExcludedUntilOwnerLeaves) {
  EnterCriticalSection(&section_);
  EnterCriticalSection(&section_);
  EXPECT_FALSE(tryEnterFromAnotherThread());
  LeaveCriticalSection(&section_);
  EXPECT_FALSE(tryEnterFromAnotherThread());
  LeaveCriticalSection(&section_);
  EXPECT_TRUE(tryEnterFromAnotherThread());
}

// Tests that EnterCriticalSection blocks until the owner leaves.
TEST_F(CriticalSections, EnterBlocksUntilOwnerLeaves) {
  std::atomic<bool> ownerLeft{false};
  EnterCriticalSection(&section_);
  HANDLE thread = startThread([this, &ownerLeft] {
    EnterCriticalSection(&section_);
    DWORD enteredAfterLeave = ownerLeft.load();
    LeaveCriticalSection(&section_);
    return enteredAfterLeave;
  });
  Sleep(50);
  ownerLeft = true;
  LeaveCriticalSection(&section_);
  EXPECT_EQ(joinThread(thread), 1u);
}

// Tests that increments under the section from two threads are never lost.
TEST_F(CriticalSections, ExcludesConcurrentUpdates) {
  long counter = 0;
  auto increment = [this, &counter] {
    for (int i = 0; i < 20000; ++i) {
      EnterCriticalSection(&section_);
      counter = counter + 1;
      LeaveCriticalSection(&section_);
    }
    return DWORD{0};
  };
  HANDLE first = startThread(increment);
  HANDLE second = startThread(increment);
  joinThread(first);
  joinThread(second);
  EXPECT_EQ(counter, 40000);
}

// Tests that a thread that does not own the section cannot release it.
TEST_F(CriticalSections, LeaveByNonOwnerIsRefused) {
  EnterCriticalSection(&section_);
  HANDLE intruder = startThread([this] {
    LeaveCriticalSection(&section_);
    return static_cast<DWORD>(GetLastError());
  });
  EXPECT_EQ(joinThread(intruder), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(tryEnterFromAnotherThread());
  LeaveCriticalSection(&section_);
}

// Tests that a null section is refused instead of crashing.
TEST(CriticalSection, NullSectionIsRefused) {
  EXPECT_FALSE(InitializeCriticalSectionAndSpinCount(nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(TryEnterCriticalSection(nullptr));
  EnterCriticalSection(nullptr);
  LeaveCriticalSection(nullptr);
  DeleteCriticalSection(nullptr);
}
