#include <gtest/gtest.h>

#include <thread>

#include "KernelTestSupport.h"

using namespace kcm_test;

namespace {
HANDLE duplicate(HANDLE source, DWORD options = DUPLICATE_SAME_ACCESS) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, FALSE, options);
  return copy;
}
}  // namespace

// Tests that closed, null, unknown and wrong-kind handles are refused with ERROR_INVALID_HANDLE.
TEST(Handles, InvalidHandlesFailWithInvalidHandle) {
  HANDLE closed = newEvent(TRUE, FALSE);
  CloseHandle(closed);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
  for (HANDLE bad : {closed, HANDLE{nullptr}, reinterpret_cast<HANDLE>(0x7ffffff0), semaphore}) {
    SetLastError(0);
    EXPECT_FALSE(SetEvent(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(closed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));  // pseudo handles close as a no-op
  CloseHandle(semaphore);
}

// Tests that a duplicate keeps the object alive after the source, closed by DUPLICATE_CLOSE_SOURCE.
TEST(Handles, DuplicateOutlivesClosedSource) {
  HANDLE event = newEvent(TRUE, FALSE);
  HANDLE copy = duplicate(event, DUPLICATE_CLOSE_SOURCE);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_TRUE(SetEvent(copy));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  CloseHandle(copy);
}

// Tests that a duplicate of GetCurrentThread() names that thread, even one we did not
// start, and is signalled once it has ended.
TEST(Handles, DuplicatedCurrentThreadHandleNamesTheThread) {
  HANDLE copy = nullptr;
  DWORD id = 0;
  std::thread([&] {
    id = GetCurrentThreadId();
    copy = duplicate(GetCurrentThread());
  }).join();
  EXPECT_EQ(GetThreadId(copy), id);
  EXPECT_EQ(WaitForSingleObject(copy, 1000), WAIT_OBJECT_0);
  CloseHandle(copy);
}

// Tests that an object survives the closing of the handle a thread is waiting on.
TEST(Handles, ObjectSurvivesCloseDuringWait) {
  HANDLE event = newEvent(FALSE, FALSE), copy = duplicate(event), ready = newEvent(TRUE, FALSE);
  HANDLE waiter = startThread([=] {
    SetEvent(ready);
    return WaitForSingleObject(event, 5000);
  });
  WaitForSingleObject(ready, INFINITE);
  Sleep(30);  // lets the waiter block
  CloseHandle(event);
  SetEvent(copy);
  EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
  CloseHandle(copy);
  CloseHandle(ready);
}
