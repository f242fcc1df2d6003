#include <gtest/gtest.h>

#include <thread>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;

// Tests that a closed handle is refused, also by a second CloseHandle.
TEST(Handles, ClosedHandleFailsWithInvalidHandle) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  SetLastError(0);
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Tests that null and never-issued handles are refused rather than dereferenced.
TEST(Handles, NullAndUnknownHandlesFailWithInvalidHandle) {
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x7ffffff0), 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Tests that a handle of one kind is refused by another kind's functions.
TEST(Handles, HandleOfWrongKindFailsWithInvalidHandle) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
  EXPECT_FALSE(SetEvent(semaphore));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(semaphore);
}

// Tests that handle values are not reused, so a stale handle never names a newer object.
TEST(Handles, HandleValuesAreNotReused) {
  HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(first);
  HANDLE second = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NE(first, second);
  EXPECT_FALSE(SetEvent(first));
  CloseHandle(second);
}

// Tests that closing a pseudo handle is accepted and does nothing, as on Windows.
TEST(Handles, ClosingPseudoHandlesSucceeds) {
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
  EXPECT_EQ(GetCurrentProcess(), INVALID_HANDLE_VALUE);
}

// Tests that a duplicate keeps the object alive after the original handle is closed.
TEST(Handles, DuplicateOutlivesClosedSource) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_NE(copy, event);
  CloseHandle(event);
  EXPECT_TRUE(SetEvent(copy));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  CloseHandle(copy);
}

// Tests that DUPLICATE_CLOSE_SOURCE closes the source handle.
TEST(Handles, DuplicateCloseSourceClosesTheSource) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS));
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  CloseHandle(copy);
}

// Tests that duplicating into another process is refused.
TEST(Handles, DuplicateOutsideTheProcessFails) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE copy = nullptr;
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), event, event, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

// Tests that duplicating GetCurrentThread() gives a real handle to that thread, also
// for a thread we did not start, which is signalled once that thread has ended.
TEST(Handles, DuplicatedCurrentThreadHandleNamesTheThread) {
  HANDLE copy = nullptr;
  DWORD id = 0;
  std::thread([&] {
    id = GetCurrentThreadId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  }).join();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(GetThreadId(copy), id);
  EXPECT_EQ(WaitForSingleObject(copy, 1000), WAIT_OBJECT_0);
  CloseHandle(copy);
}

// Tests that an object survives the closing of the handle a thread is waiting on.
TEST(Handles, ObjectSurvivesCloseDuringWait) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE waiter = startThread([event, ready] {
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
