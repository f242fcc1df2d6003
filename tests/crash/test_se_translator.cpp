#include <fenv.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <cstring>
#include <string>

#include "CrashTestSupport.h"

using kcm_test::RunUnderTranslator;

namespace {

void CustomTranslator(unsigned int, EXCEPTION_POINTERS*) {}

// A record of `code` with one parameter, thrown through the translator.
struct SyntheticFault {
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  EXCEPTION_POINTERS pointers{&record, &context};
  explicit SyntheticFault(unsigned code, ULONG_PTR parameter = 0) {
    record.ExceptionCode = code;
    record.NumberParameters = 1;
    record.ExceptionInformation[0] = parameter;
  }
};

}  // namespace

TEST(SeTranslator, AccessViolationsTellReadFromWriteAndTheAddress) {
  bool caughtWrite = false, caughtRead = false;
  RunUnderTranslator([&] {
    try {
      kcm_test::WriteThroughNull();
    } catch (const se_translator::access_violation& error) {
      caughtWrite = true;
      EXPECT_FALSE(error.is_read_op());
      EXPECT_EQ(error.inaccessible_address(), 0u);
      EXPECT_EQ(error.code(), EXCEPTION_ACCESS_VIOLATION);
      EXPECT_STREQ(error.name(), "Access Violation");
      EXPECT_EQ(error.address(), reinterpret_cast<void*>(error.info()->ContextRecord->Rip));
      EXPECT_NE(error.address(), nullptr);
    }
    try {
      kcm_test::ReadThroughNull();
    } catch (const se_translator::access_violation& error) {
      caughtRead = true;
      EXPECT_TRUE(error.is_read_op());
    }
  });
  EXPECT_TRUE(caughtWrite);
  EXPECT_TRUE(caughtRead);
}

TEST(SeTranslator, ArithmeticFaultsCarryTheirCause) {
  std::string name, description;
  bool intDivide = false, floatDivide = false;
  RunUnderTranslator([&] {
    try {
      kcm_test::DivideBy(7, 0);
    } catch (const se_translator::exception& error) {
      intDivide = dynamic_cast<const se_translator::int_divide_by_zero*>(&error) != nullptr;
      name = error.name();
      description = error.description();
    }
    feenableexcept(FE_DIVBYZERO);  // SSE arithmetic traps only when asked to
    try {
      kcm_test::DivideFloat(1.0, 0.0);
    } catch (const se_translator::flt_divide_by_zero&) {
      floatDivide = true;
    }
    fedisableexcept(FE_DIVBYZERO);
  });
  EXPECT_TRUE(intDivide);
  EXPECT_EQ(name, "Integer Divide by Zero");
  EXPECT_EQ(description, "The thread attempted to divide an integer value by an integer divisor of zero");
  EXPECT_TRUE(floatDivide);
}

TEST(SeTranslator, TrapInstructionsAreTranslated) {
  bool illegal = false, breakpoint = false;
  RunUnderTranslator([&] {
    try {
      kcm_test::ExecuteUndefinedInstruction();
    } catch (const se_translator::illegal_instruction&) {
      illegal = true;
    }
    try {
      kcm_test::ExecuteBreakpoint();
    } catch (const se_translator::breakpoint& error) {
      // Windows reports the int3 itself, not the instruction after it.
      breakpoint = *static_cast<const unsigned char*>(error.address()) == 0xCC;
    }
  });
  EXPECT_TRUE(illegal);
  EXPECT_TRUE(breakpoint);
}

TEST(SeTranslator, StackOverflowIsHandledOnTheAlternateStack) {
  bool overflow = false;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  auto body = [](void* result) -> void* {
    se_translator translator;
    try {
      kcm_test::Recurse(0);
    } catch (const se_translator::stack_overflow& error) {
      *static_cast<bool*>(result) = std::strcmp(error.name(), "Stack Overflow") == 0;
    }
    return nullptr;
  };
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, body, &overflow), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  EXPECT_TRUE(overflow);
}

TEST(SeTranslator, TranslatorThrowsTheClassOfTheRecordCode) {
  SyntheticFault noMemory(STATUS_NO_MEMORY, 4096);
  try {
    se_translator::translator(0, &noMemory.pointers);  // the record's code wins
    ADD_FAILURE() << "nothing thrown";
  } catch (const se_translator::no_memory& error) {
    EXPECT_EQ(error.mem_size(), 4096u);
  }
  SyntheticFault cpp(0xE06D7363);
  EXPECT_THROW(se_translator::translator(cpp.record.ExceptionCode, &cpp.pointers), se_translator::microsoft_cpp);

  SyntheticFault unknown(0xE0000001);
  try {
    se_translator::translator(unknown.record.ExceptionCode, &unknown.pointers);
  } catch (const se_translator::exception& error) {
    EXPECT_EQ(typeid(error), typeid(se_translator::exception));
    EXPECT_STREQ(error.name(), "e0000001");
    EXPECT_STREQ(error.description(), "Unknown Exception");
  }
  EXPECT_STREQ(se_translator::name(0xABC), "abc");
  EXPECT_STREQ(se_translator::name(EXCEPTION_STACK_OVERFLOW), "Stack Overflow");
  EXPECT_STREQ(se_translator::description(EXCEPTION_GUARD_PAGE), "Guard Page Exception");
}

TEST(SeTranslator, NullExceptionPointersAreHarmless) {
  try {
    se_translator::translator(EXCEPTION_ACCESS_VIOLATION, nullptr);
  } catch (const se_translator::access_violation& error) {
    EXPECT_EQ(error.code(), 0u);
    EXPECT_EQ(error.address(), nullptr);
    EXPECT_TRUE(error.is_read_op());
    EXPECT_EQ(error.inaccessible_address(), 0u);
  }
}

TEST(SeTranslator, ScopeEndPutsThePreviousTranslatorBack) {
  const _se_translator_function original = _set_se_translator(CustomTranslator);
  {
    se_translator translator;
    EXPECT_EQ(_set_se_translator(se_translator::translator), &se_translator::translator);
  }
  EXPECT_EQ(_set_se_translator(original), &CustomTranslator);
}

TEST(SeTranslatorDeathTest, ThreadWithoutTranslatorKeepsTheDefaultAction) {
  RunUnderTranslator([] {});  // the process-wide handlers are in place from here on
  GTEST_FLAG_SET(death_test_style, "threadsafe");
#if KCM_TEST_UNDER_ASAN
  EXPECT_DEATH(kcm_test::WriteThroughNull(), "SEGV");  // passed on to the sanitizer's handler
#else
  EXPECT_EXIT(kcm_test::WriteThroughNull(), testing::KilledBySignal(SIGSEGV), "");
#endif
}
