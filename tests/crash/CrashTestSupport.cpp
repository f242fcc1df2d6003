// The faulting statements, kept out of line and away from the sanitizers, so that the
// hardware fault and nothing else reaches the translator in every build tree.
#include "CrashTestSupport.h"

#define KCM_FAULTING __attribute__((noinline, no_sanitize("address", "undefined")))

namespace kcm_test {

KCM_FAULTING void WriteThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

KCM_FAULTING int ReadThroughNull() {
  volatile int* volatile source = nullptr;
  return *source;
}

KCM_FAULTING int DivideBy(int dividend, int divisor) {
  volatile int zero = divisor;
  return dividend / zero;
}

KCM_FAULTING double DivideFloat(double dividend, double divisor) {
  volatile double zero = divisor;
  return dividend / zero;
}

KCM_FAULTING void ExecuteUndefinedInstruction() { __asm__ volatile("ud2"); }

KCM_FAULTING void ExecuteBreakpoint() { __asm__ volatile("int3"); }

KCM_FAULTING int Recurse(int depth) {
  if (depth < 0) return 0;  // never: the stack runs out first
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}

}  // namespace kcm_test
