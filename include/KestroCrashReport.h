// Crash reporting: hardware faults turned into typed C++ exceptions, stack traces, and
// crash records written through kcm_logExpression.
//
// On Linux the faults arrive as signals. A thread that holds an se_translator gets
// SIGSEGV and SIGBUS as access_violation, a fault on its stack guard page as
// stack_overflow (handled on an alternate signal stack), SIGFPE as int_divide_by_zero,
// int_overflow or flt_… by its cause, SIGILL as illegal_instruction and SIGTRAP as
// breakpoint or single_step. Threads without one keep the signal's previous action.
// The exception is thrown from the faulting instruction, so the code that faults must
// be built with -fnon-call-exceptions: the library is, and hosts that want faults in
// their own code translated build with it too. Clang accepts that option but does not
// implement it: it takes a function that calls nothing for one that cannot throw, so a
// fault in such a function is translated only where its callers cannot see its body.
#pragma once

#include <ostream>

#include "KestroExport.h"
#include "eh.h"
#include "winnt.h"

class KCM_API se_translator {
 public:
  // Base of every translated fault; `info` stays valid while the exception is handled.
  class KCM_API exception {
   public:
    explicit exception(EXCEPTION_POINTERS* info);
    virtual ~exception();
    unsigned int code() const;
    void* address() const;  // the faulting instruction
    EXCEPTION_POINTERS* info() const;
    const char* name() const;
    const char* description() const;

   private:
    EXCEPTION_POINTERS* _info;  // not owned
  };

#define KCM_SE_EXCEPTION_CLASS(className)                                    \
  class KCM_API className : public exception {                              \
   public:                                                                  \
    explicit className(EXCEPTION_POINTERS* info) : exception(info) {}       \
  }
  KCM_SE_EXCEPTION_CLASS(guard_page);
  KCM_SE_EXCEPTION_CLASS(datatype_misalignment);
  KCM_SE_EXCEPTION_CLASS(breakpoint);
  KCM_SE_EXCEPTION_CLASS(single_step);
  KCM_SE_EXCEPTION_CLASS(in_page_error);
  KCM_SE_EXCEPTION_CLASS(invalid_handle);
  KCM_SE_EXCEPTION_CLASS(illegal_instruction);
  KCM_SE_EXCEPTION_CLASS(noncontinuable_exception);
  KCM_SE_EXCEPTION_CLASS(invalid_disposition);
  KCM_SE_EXCEPTION_CLASS(array_bounds_exceeded);
  KCM_SE_EXCEPTION_CLASS(flt_denormal_operand);
  KCM_SE_EXCEPTION_CLASS(flt_divide_by_zero);
  KCM_SE_EXCEPTION_CLASS(flt_inexact_result);
  KCM_SE_EXCEPTION_CLASS(flt_invalid_operation);
  KCM_SE_EXCEPTION_CLASS(flt_overflow);
  KCM_SE_EXCEPTION_CLASS(flt_stack_check);
  KCM_SE_EXCEPTION_CLASS(flt_underflow);
  KCM_SE_EXCEPTION_CLASS(int_divide_by_zero);
  KCM_SE_EXCEPTION_CLASS(int_overflow);
  KCM_SE_EXCEPTION_CLASS(priv_instruction);
  KCM_SE_EXCEPTION_CLASS(stack_overflow);
  KCM_SE_EXCEPTION_CLASS(microsoft_cpp);
#undef KCM_SE_EXCEPTION_CLASS

  class KCM_API access_violation : public exception {
   public:
    explicit access_violation(EXCEPTION_POINTERS* info) : exception(info) {}
    bool is_read_op() const;                  // the record's first parameter is 0
    ULONG_PTR inaccessible_address() const;  // the record's second parameter
  };

  class KCM_API no_memory : public exception {
   public:
    explicit no_memory(EXCEPTION_POINTERS* info) : exception(info) {}
    ULONG_PTR mem_size() const;  // the size that could not be allocated
  };

  // Installs `translator` for the calling thread and keeps the previous one.
  se_translator();
  // Puts the previous translator back.
  ~se_translator();
  se_translator(const se_translator&) = delete;
  se_translator& operator=(const se_translator&) = delete;

  // Throws the class whose code matches the record's code; `exception` for any other.
  static void translator(unsigned int code, EXCEPTION_POINTERS* info);
  // For an unknown code: its lower-case hexadecimal without prefix, in one process-wide
  // buffer that the next such call overwrites.
  static const char* name(unsigned int code);
  // "Unknown Exception" for an unknown code.
  static const char* description(unsigned int code);

 private:
  _se_translator_function _previous;
};

// Walks stacks and resolves module, symbol and source line of each frame.
// Symbol lookups are serialised inside; a trace may be taken from any thread.
class KCM_API sym_engine {
 public:
  sym_engine();
  ~sym_engine();
  sym_engine(const sym_engine&) = delete;
  sym_engine& operator=(const sym_engine&) = delete;

  // "%f(%l) : %m at %s\n". Directives: %f source file (a space if unknown), %l line
  // (%ld: displacement from the line's start), %m module file name without directory
  // ("?.?" if unknown), %s symbol followed by "()" ("?()" if unknown; %sd: displacement),
  // %% a percent sign; a percent sign before any other character writes both.
  static const char* default_fmt();
  // The stack described by `context`, skipping `skip` frames; false if the first frame
  // cannot be had. By the time a catch clause runs, the faulting frames have been
  // unwound, so a translated fault's stack is the one captured when it happened: the
  // faulting thread's last fault can be walked. Any other context must lie on the
  // calling thread's live stack (RtlCaptureContext gives one).
  static bool stack_trace(std::ostream& os, CONTEXT* context, unsigned skip = 0, const char* fmt = default_fmt());
  // The calling thread's own stack; frame 0 is this function, hence the default skip.
  static bool stack_trace(std::ostream& os, unsigned skip = 1, const char* fmt = default_fmt());
  static bool stack_trace(std::ostream& os, sym_engine& engine, CONTEXT* context, unsigned skip, const char* fmt);

  bool stack_first(CONTEXT* context);
  bool stack_next();
  // Each looks up the current frame's address and writes into `buffer` (truncating);
  // answers the characters written, 0 on failure. The symbol is the demangled name
  // without its parameter list; the file is the path the debug information holds.
  unsigned module(char* buffer, unsigned size);
  unsigned symbol(char* buffer, unsigned size, unsigned* displacement = nullptr);
  unsigned fileline(char* buffer, unsigned size, unsigned* line, unsigned* displacement = nullptr);
  DWORD64 address() const;
  void address(DWORD64 address);

 private:
  DWORD64 _address;   // the current frame's program counter
  void* _frame;       // the walk's state, allocated on first use
  CONTEXT _context;   // the context being walked
};

// Both write a crash record with a stack trace through kcm_logExpression(file, line,
// record, KcmLogCritical, true) and answer true.
KCM_API bool ZT_Dump_Access_violation(const char* file, int line, se_translator::access_violation& error);
KCM_API bool ZT_Dump_Se_translator(const char* file, int line, se_translator::no_memory& error);
