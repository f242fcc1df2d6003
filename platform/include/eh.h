// The per-thread structured-exception translator.
//
// Hardware faults reach a Linux process as signals. Once any thread installs a
// translator, the platform handles SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP for the
// whole process. A fault raised by the kernel on a thread that has a translator is
// described in an EXCEPTION_RECORD and CONTEXT (kept per thread, valid until that
// thread's next fault or its end) and handed to the translator on an alternate signal
// stack, so that a stack overflow can be reported too. The translator is expected to
// throw: the exception leaves the signal handler and unwinds from the faulting
// instruction, which therefore must be built with -fnon-call-exceptions. On threads
// without a translator, and for signals sent by a process rather than raised by a
// fault, the action installed before ours runs (or the default action).
//
// Codes: SIGSEGV and SIGBUS give EXCEPTION_ACCESS_VIOLATION, or EXCEPTION_STACK_OVERFLOW
// for an address near the thread's stack limit (both with ExceptionInformation[0] 0
// read, 1 write, 8 execute, and [1] the address); SIGFPE gives the integer or floating-point code of its cause;
// SIGILL EXCEPTION_ILLEGAL_INSTRUCTION or EXCEPTION_PRIV_INSTRUCTION; SIGTRAP
// EXCEPTION_BREAKPOINT or EXCEPTION_SINGLE_STEP.
#pragma once

#include "winnt.h"

typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

KCM_EXTERN_C_BEGIN
// Installs `translator` for the calling thread (null removes it) and answers the one
// installed before.
KCM_PLATFORM_API _se_translator_function __cdecl _set_se_translator(_se_translator_function translator);
KCM_EXTERN_C_END

#ifdef __cplusplus
// The program counters of the stack at the calling thread's last translated fault,
// innermost first (the faulting instruction, then return addresses), captured before
// the exception unwound those frames. Answers their number and sets `frames`, or 0 when
// `context` is not the ContextRecord of that fault.
KCM_PLATFORM_API unsigned KcmFaultFrames(const CONTEXT* context, const DWORD64** frames);
#endif
