#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "CrashTestSupport.h"

namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

__attribute__((noinline)) std::string TraceFromHere(unsigned skip, const char* format) {
  std::ostringstream trace;
  EXPECT_TRUE(sym_engine::stack_trace(trace, skip, format));
  return trace.str();
}

constexpr unsigned kLookedUpFunctionLine = __LINE__ + 1;
__attribute__((noinline)) void LookedUpFunction() { __asm__ volatile(""); }

}  // namespace

TEST(SymEngine, OwnThreadTraceStartsAtItselfAndNamesTheCallers) {
  const std::string all = TraceFromHere(0, "%s|%m|%f\n");
  EXPECT_EQ(all.rfind("sym_engine::stack_trace()|libKestroCommonModule.so|", 0), 0u) << all;
  const std::string callers = TraceFromHere(1, sym_engine::default_fmt());
  EXPECT_NE(callers.find("test_sym_engine.cpp("), std::string::npos) << callers;
  EXPECT_NE(callers.find(" : kcm_crash_tests at (anonymous namespace)::TraceFromHere"), std::string::npos)
      << callers;
  EXPECT_NE(callers.find("SymEngine_OwnThreadTraceStartsAtItselfAndNamesTheCallers_Test::TestBody()"),
            std::string::npos)
      << callers;
}

TEST(SymEngine, SkipBeyondTheDepthWritesNothingAndSucceeds) {
  EXPECT_EQ(TraceFromHere(10000, sym_engine::default_fmt()), "");
}

TEST(SymEngine, FormatDirectives) {
  const size_t frames = Count(TraceFromHere(0, "\n"), "\n");
  ASSERT_GT(frames, 3u);
  std::string expected;
  for (size_t i = 0; i < frames; ++i) expected += "%x";
  EXPECT_EQ(TraceFromHere(0, "%x"), expected);
  EXPECT_EQ(Count(TraceFromHere(0, "100%%|"), "100%|"), frames);
  EXPECT_EQ(Count(TraceFromHere(0, "|%"), "|%"), frames);  // a trailing percent sign stays
  // Displacements are decimal numbers; the "d" is taken by the directive.
  const std::string displaced = TraceFromHere(0, "<%ld><%sd>\n");
  EXPECT_EQ(std::count(displaced.begin(), displaced.end(), 'd'), 0) << displaced;
  EXPECT_EQ(Count(displaced, "><"), frames);
}

TEST(SymEngine, LookupsOfAKnownAddress) {
  sym_engine engine;
  engine.address(reinterpret_cast<DWORD64>(&LookedUpFunction));
  char text[256];
  unsigned displacement = 99, line = 0;
  ASSERT_GT(engine.symbol(text, sizeof text, &displacement), 0u);
  EXPECT_STREQ(text, "(anonymous namespace)::LookedUpFunction()");
  EXPECT_EQ(displacement, 0u);
  EXPECT_EQ(engine.symbol(text, 5), 4u);  // truncated to the buffer
  EXPECT_STREQ(text, "(ano");
  ASSERT_GT(engine.module(text, sizeof text), 0u);
  EXPECT_STREQ(text, "kcm_crash_tests");
  ASSERT_GT(engine.fileline(text, sizeof text, &line, &displacement), 0u);
  EXPECT_NE(std::string(text).find("tests/crash/test_sym_engine.cpp"), std::string::npos) << text;
  EXPECT_EQ(line, kLookedUpFunctionLine);
  EXPECT_EQ(displacement, 0u);
  EXPECT_EQ(engine.fileline(nullptr, 10, &line), 0u);
  EXPECT_EQ(engine.module(text, 0), 0u);

  engine.address(16);  // in no module
  EXPECT_EQ(engine.symbol(text, sizeof text), 0u);
  EXPECT_EQ(engine.module(text, sizeof text), 0u);
  EXPECT_EQ(engine.fileline(text, sizeof text, &line), 0u);
}

TEST(SymEngine, UnusableContextsAreRefused) {
  std::ostringstream trace;
  EXPECT_FALSE(sym_engine::stack_trace(trace, nullptr, 0, sym_engine::default_fmt()));
  void* page = mmap(nullptr, 4096 * 2, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  EXPECT_FALSE(sym_engine::stack_trace(trace, static_cast<CONTEXT*>(page), 0, sym_engine::default_fmt()));
  munmap(page, 4096 * 2);
  CONTEXT gone{};  // a stack pointer below the walker's frame: those frames have returned
  gone.Rsp = 16;
  gone.Rip = reinterpret_cast<DWORD64>(&LookedUpFunction);
  EXPECT_FALSE(sym_engine::stack_trace(trace, &gone, 0, sym_engine::default_fmt()));
  EXPECT_EQ(trace.str(), "");
}

TEST(SymEngine, FaultContextIsWalkedFromTheFaultingFrame) {
  std::string trace;
  kcm_test::RunUnderTranslator([&trace] {
    try {
      kcm_test::WriteThroughNull();
    } catch (const se_translator::access_violation& error) {
      std::ostringstream text;
      EXPECT_TRUE(sym_engine::stack_trace(text, error.info()->ContextRecord, 0, "%s\n"));
      trace = text.str();
    }
  });
  EXPECT_EQ(trace.rfind("kcm_test::WriteThroughNull()\n", 0), 0u) << trace;
  EXPECT_NE(trace.find("SymEngine_FaultContextIsWalkedFromTheFaultingFrame_Test::TestBody()::"),
            std::string::npos)
      << trace;
}
