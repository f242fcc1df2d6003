#include <gtest/gtest.h>

#include "KestroTempldateHelper.h"
#include "modules/TestCounter.h"

namespace {

int LiveCounters() {
  HMODULE module = GetModuleHandleW(L"KcmTestCounter.dll");
  if (module == nullptr) return 0;
  auto live = reinterpret_cast<LiveTestCountersFn>(GetProcAddress(module, "LiveTestCounters"));
  return live != nullptr ? live() : -1;
}

using CounterHelper = CTempldateHelper<ITestCounter>;

}  // namespace

TEST(TempldateHelper, LoadsModuleAndCreatesThroughItsFactory) {
  CounterHelper helper(IID_ITestCounter, KCM_INTERFACE_VERSION, L"KcmTestCounter.dll", "CreateTestCounter");
  EXPECT_FALSE(helper.IsInterfaceValid());
  ASSERT_TRUE(helper.CreateInstance());
  ASSERT_TRUE(helper.IsInterfaceValid());
  EXPECT_EQ(helper.GetInterface()->Increment(), 1);
  EXPECT_EQ(LiveCounters(), 1);
  ASSERT_TRUE(helper.CreateInstance());  // the first object is given back first
  EXPECT_EQ(LiveCounters(), 1);
  EXPECT_EQ(helper.GetInterface()->Increment(), 1);
  EXPECT_TRUE(helper.CloseInstance(false));
  EXPECT_EQ(helper.GetInterface(), nullptr);
  EXPECT_EQ(LiveCounters(), 0);
}

TEST(TempldateHelper, DestructorReleasesTheInterfaceAndKeepsTheModule) {
  {
    CounterHelper helper(IID_ITestCounter, KCM_INTERFACE_VERSION, L"KcmTestCounter.dll", "CreateTestCounter");
    ASSERT_TRUE(helper.CreateInstance());
  }
  EXPECT_NE(GetModuleHandleW(L"KcmTestCounter.dll"), nullptr);
  EXPECT_EQ(LiveCounters(), 0);
}

// Tests that a factory asked for what its object does not serve answers null and
// leaves no object behind.
TEST(TempldateHelper, RefusedIdentifierOrVersionLeavesNoObject) {
  CounterHelper wrongId(IID_IDataBase, KCM_INTERFACE_VERSION, L"KcmTestCounter.dll", "CreateTestCounter");
  EXPECT_FALSE(wrongId.CreateInstance());
  EXPECT_EQ(wrongId.GetInterface(), nullptr);
  CounterHelper wrongVersion(IID_ITestCounter, 0x01020100, L"KcmTestCounter.dll", "CreateTestCounter");
  EXPECT_FALSE(wrongVersion.CreateInstance());
  EXPECT_EQ(LiveCounters(), 0);
}

TEST(TempldateHelper, MissingModuleOrEntryPointAnswersFalse) {
  CounterHelper noModule(IID_ITestCounter, KCM_INTERFACE_VERSION, L"NoSuchModule.dll", "CreateTestCounter");
  EXPECT_FALSE(noModule.CreateInstance());
  EXPECT_FALSE(noModule.IsInterfaceValid());
  CounterHelper noEntry(IID_ITestCounter, KCM_INTERFACE_VERSION, L"KcmTestCounter.dll", "NoSuchFactory");
  EXPECT_FALSE(noEntry.CreateInstance());
  EXPECT_TRUE(noEntry.CloseInstance(true));
}

// Other helpers in this process may keep the module loaded: it is gone afterwards only
// if this helper's load was the only one.
TEST(TempldateHelper, CloseInstanceWithFreeModuleUnloadsIt) {
  const bool loadedBefore = GetModuleHandleW(L"KcmTestCounter.dll") != nullptr;
  CounterHelper helper(IID_ITestCounter, KCM_INTERFACE_VERSION, L"KcmTestCounter.dll", "CreateTestCounter");
  ASSERT_TRUE(helper.CreateInstance());
  EXPECT_TRUE(helper.CloseInstance(true));
  EXPECT_EQ(GetModuleHandleW(L"KcmTestCounter.dll") != nullptr, loadedBefore);
  ASSERT_TRUE(helper.CreateInstance());  // loads it again
  EXPECT_EQ(LiveCounters(), 1);
}
