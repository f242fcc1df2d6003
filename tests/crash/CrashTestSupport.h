// Helpers of the crash-reporting suites: statements that really fault, and a thread
// that runs a body under the structured-exception translator.
#pragma once

#include <thread>

#include "KestroCrashReport.h"

#if defined(__SANITIZE_ADDRESS__)
#define KCM_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KCM_TEST_UNDER_ASAN 1
#endif
#endif
#ifndef KCM_TEST_UNDER_ASAN
#define KCM_TEST_UNDER_ASAN 0
#endif

namespace kcm_test {

// Each faults as its name says. They are defined in their own file: clang takes a
// function whose body it has seen and that calls nothing for one that cannot throw,
// and would leave its call sites without a handler.
void WriteThroughNull();
int ReadThroughNull();
int DivideBy(int dividend, int divisor);
double DivideFloat(double dividend, double divisor);
void ExecuteUndefinedInstruction();
void ExecuteBreakpoint();
int Recurse(int depth);  // until the stack runs out

// Runs `body` on a new thread that holds an se_translator for its whole life.
template <class Body>
void RunUnderTranslator(Body body) {
  std::thread thread([&body] {
    se_translator translator;
    body();
  });
  thread.join();
}

}  // namespace kcm_test
