// Structured exceptions over POSIX fault signals: the per-thread translator, the
// process-wide handlers, and the per-thread fault record and alternate signal stack.
//
// The handler runs on the faulting thread, usually on its alternate stack. It neither
// allocates nor locks: the record lives in a block allocated when the thread installed
// its translator, and the stack is captured with libgcc's unwinder, which finds unwind
// tables through glibc's lock-free _dl_find_object. The translator it calls throws, and
// the exception unwinds through the signal frame into the faulting code.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "eh.h"

namespace kcm::kernel {

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr unsigned kMaxFaultFrames = 128;
constexpr size_t kAltStackSize = 128 * 1024;  // room for the unwinder's own frames
// Faults this far below a thread's lowest stack address count as a stack overflow: a
// large frame may step over the guard page.
constexpr uintptr_t kMinStackGuard = 1024 * 1024;
// x86-64 page-fault error code bits.
constexpr greg_t kPageFaultWrite = 0x2;
constexpr greg_t kPageFaultFetch = 0x10;
// ExceptionInformation[0] of an access violation.
constexpr ULONG_PTR kAccessRead = 0, kAccessWrite = 1, kAccessExecute = 8;

struct ThreadFaultState {
  EXCEPTION_RECORD record;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
  DWORD64 frames[kMaxFaultFrames];
  unsigned frameCount;
  uintptr_t guardLow;  // the range a stack overflow faults in
  uintptr_t guardHigh;
};

// Both trivially initialised, so the handler may read them on any thread.
thread_local _se_translator_function t_translator = nullptr;
thread_local ThreadFaultState* t_state = nullptr;

struct sigaction g_previousActions[NSIG];

size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

void FindStackGuard(ThreadFaultState& state) {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* stackLow = nullptr;
  size_t stackSize = 0, guardSize = 0;
  if (pthread_attr_getstack(&attributes, &stackLow, &stackSize) == 0 &&
      pthread_attr_getguardsize(&attributes, &guardSize) == 0) {
    const uintptr_t low = reinterpret_cast<uintptr_t>(stackLow);
    const uintptr_t guard = std::max<uintptr_t>(guardSize, kMinStackGuard);
    state.guardLow = low > guard ? low - guard : 0;
    state.guardHigh = low + PageSize();  // the main thread's limit is only approximate
  }
  pthread_attr_destroy(&attributes);
}

// The fault record and the alternate signal stack of one thread: made when the thread
// first installs a translator, released when the thread ends.
class ThreadFaultResources {
 public:
  ThreadFaultResources() = default;
  ThreadFaultResources(const ThreadFaultResources&) = delete;
  ThreadFaultResources& operator=(const ThreadFaultResources&) = delete;

  ~ThreadFaultResources() {
    t_translator = nullptr;
    t_state = nullptr;
    releaseAltStack();
    delete state_;
  }

  void prepare() {
    if (state_ == nullptr) {
      state_ = new (std::nothrow) ThreadFaultState{};
      if (state_ != nullptr) FindStackGuard(*state_);
      t_state = state_;
    }
    if (altStack_ == nullptr) installAltStack();
  }

 private:
  void installAltStack() {
    const size_t page = PageSize();
    const size_t size = std::max<size_t>(kAltStackSize, static_cast<size_t>(sysconf(_SC_SIGSTKSZ)));
    void* mapping = mmap(nullptr, size + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return;
    mprotect(mapping, page, PROT_NONE);  // an overflow of the handler's stack faults
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + page;
    stack.ss_size = size;
    if (sigaltstack(&stack, &previousAltStack_) != 0) {
      munmap(mapping, size + page);
      return;
    }
    altStack_ = mapping;
    altStackSize_ = size + page;
  }

  void releaseAltStack() {
    if (altStack_ == nullptr) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == static_cast<char*>(altStack_) + PageSize()) {
      sigaltstack(&previousAltStack_, nullptr);
    }
    munmap(altStack_, altStackSize_);
    altStack_ = nullptr;
  }

  ThreadFaultState* state_ = nullptr;
  void* altStack_ = nullptr;
  size_t altStackSize_ = 0;
  stack_t previousAltStack_{};
};

thread_local ThreadFaultResources t_resources;

// --- the handler ------------------------------------------------------------------

void FillContext(CONTEXT& context, const mcontext_t& machine) {
  std::memset(&context, 0, sizeof context);
  const greg_t* r = machine.gregs;
  context.Rax = r[REG_RAX], context.Rcx = r[REG_RCX], context.Rdx = r[REG_RDX], context.Rbx = r[REG_RBX];
  context.Rsp = r[REG_RSP], context.Rbp = r[REG_RBP], context.Rsi = r[REG_RSI], context.Rdi = r[REG_RDI];
  context.R8 = r[REG_R8], context.R9 = r[REG_R9], context.R10 = r[REG_R10], context.R11 = r[REG_R11];
  context.R12 = r[REG_R12], context.R13 = r[REG_R13], context.R14 = r[REG_R14], context.R15 = r[REG_R15];
  context.Rip = r[REG_RIP];
  context.EFlags = static_cast<DWORD>(r[REG_EFL]);
  // CSGSFS packs cs, gs and fs in its low three 16-bit words.
  context.SegCs = static_cast<WORD>(r[REG_CSGSFS]);
  context.SegGs = static_cast<WORD>(r[REG_CSGSFS] >> 16);
  context.SegFs = static_cast<WORD>(r[REG_CSGSFS] >> 32);
  context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  if (machine.fpregs != nullptr) {
    static_assert(sizeof(*machine.fpregs) == sizeof(context.FltSave), "both are the FXSAVE image");
    std::memcpy(&context.FltSave, machine.fpregs, sizeof context.FltSave);
    context.MxCsr = machine.fpregs->mxcsr;
    context.ContextFlags = CONTEXT_FULL;
  }
}

DWORD AccessCode(const siginfo_t& info, const ThreadFaultState& state) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info.si_addr);
  return address >= state.guardLow && address < state.guardHigh ? EXCEPTION_STACK_OVERFLOW
                                                                 : EXCEPTION_ACCESS_VIOLATION;
}

DWORD ArithmeticCode(int cause) {
  switch (cause) {
    case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
    case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
    case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
    case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
    case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
    case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
    case FPE_FLTSUB: return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;  // "subscript out of range"
    default: return EXCEPTION_FLT_INVALID_OPERATION;
  }
}

DWORD CodeOf(int signal, const siginfo_t& info, const ThreadFaultState& state) {
  switch (signal) {
    case SIGFPE: return ArithmeticCode(info.si_code);
    case SIGILL:
      return info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION
                                                                        : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGTRAP: return info.si_code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
    default: return AccessCode(info, state);
  }
}

ULONG_PTR AccessKind(const mcontext_t& machine) {
  const greg_t error = machine.gregs[REG_ERR];
  if (error & kPageFaultFetch) return kAccessExecute;
  return (error & kPageFaultWrite) ? kAccessWrite : kAccessRead;
}

void FillRecord(ThreadFaultState& state, int signal, const siginfo_t& info, const mcontext_t& machine) {
  EXCEPTION_RECORD& record = state.record;
  std::memset(&record, 0, sizeof record);
  record.ExceptionCode = CodeOf(signal, info, state);
  // int3 reports the address after itself; Windows reports the breakpoint instruction.
  if (signal == SIGTRAP && info.si_code == SI_KERNEL) state.context.Rip -= 1;
  record.ExceptionAddress = reinterpret_cast<PVOID>(state.context.Rip);
  if (signal == SIGSEGV || signal == SIGBUS) {
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = AccessKind(machine);
    record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info.si_addr);
  }
  state.pointers.ExceptionRecord = &state.record;
  state.pointers.ContextRecord = &state.context;
}

struct FrameCapture {
  ThreadFaultState* state;
  uintptr_t faultingPc;  // frames inside the handler come first and are left out
  bool started;
};

_Unwind_Reason_Code CaptureFrame(struct _Unwind_Context* unwind, void* argument) {
  FrameCapture& capture = *static_cast<FrameCapture*>(argument);
  int exact = 0;
  const uintptr_t pc = _Unwind_GetIPInfo(unwind, &exact);
  if (!capture.started) {
    if (pc != capture.faultingPc || !exact) return _URC_NO_REASON;
    capture.started = true;
  }
  ThreadFaultState& state = *capture.state;
  state.frames[state.frameCount++] = pc;
  return state.frameCount < kMaxFaultFrames ? _URC_NO_REASON : _URC_END_OF_STACK;
}

void CaptureFrames(ThreadFaultState& state, uintptr_t faultingPc) {
  state.frameCount = 0;
  FrameCapture capture{&state, faultingPc, false};
  _Unwind_Backtrace(CaptureFrame, &capture);
  if (state.frameCount == 0) state.frames[state.frameCount++] = faultingPc;
  state.frames[0] = state.context.Rip;
}

// What would have happened without us: the previous handler, or the default action.
void PassOn(int signal, siginfo_t* info, void* ucontext) {
  const struct sigaction& previous = g_previousActions[signal];
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, ucontext);
    return;
  }
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
    return;
  }
  const bool sent = info->si_code <= 0;
  if (sent && previous.sa_handler == SIG_IGN) return;
  // An ignored fault would repeat forever; the kernel forces the default action too.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigaction(signal, &defaultAction, nullptr);
  // A fault repeats when the handler returns; a signal sent by a process does not.
  if (sent) raise(signal);
}

void OnFaultSignal(int signal, siginfo_t* info, void* ucontext) {
  const _se_translator_function translator = t_translator;
  ThreadFaultState* state = t_state;
  if (translator == nullptr || state == nullptr || info->si_code <= 0) {
    PassOn(signal, info, ucontext);
    return;
  }
  const mcontext_t& machine = static_cast<ucontext_t*>(ucontext)->uc_mcontext;
  FillContext(state->context, machine);
  FillRecord(*state, signal, *info, machine);
  CaptureFrames(*state, static_cast<uintptr_t>(machine.gregs[REG_RIP]));
  translator(state->record.ExceptionCode, &state->pointers);
  // A translator that returns leaves the fault unhandled.
  PassOn(signal, info, ucontext);
}

bool InstallHandlers() {
  struct sigaction action {};
  action.sa_sigaction = OnFaultSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal : kFaultSignals) {
    sigaction(signal, nullptr, &g_previousActions[signal]);
    sigaction(signal, &action, nullptr);
  }
  return true;
}

}  // namespace

}  // namespace kcm::kernel

using namespace kcm::kernel;

_se_translator_function __cdecl _set_se_translator(_se_translator_function translator) {
  if (translator != nullptr) {
    t_resources.prepare();
    static const bool installed = InstallHandlers();
    (void)installed;
  }
  const _se_translator_function previous = t_translator;
  t_translator = translator;
  return previous;
}

unsigned KcmFaultFrames(const CONTEXT* context, const DWORD64** frames) {
  const ThreadFaultState* state = t_state;
  if (state == nullptr || context == nullptr || frames == nullptr || context != &state->context) return 0;
  *frames = state->frames;
  return state->frameCount;
}
