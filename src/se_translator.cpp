// se_translator: installs the structured-exception translator per thread and turns each
// exception code into its exception class, name and description.
#include <stdio.h>

#include "KestroCrashReport.h"

namespace {

constexpr unsigned kMicrosoftCppException = 0xE06D7363;

using Raise = void (*)(EXCEPTION_POINTERS*);

template <class Exception>
[[noreturn]] void RaiseAs(EXCEPTION_POINTERS* info) {
  throw Exception(info);
}

struct KnownException {
  unsigned code;
  const char* name;
  const char* description;
  Raise raise;
};

using st = se_translator;

const KnownException kKnownExceptions[] = {
    {EXCEPTION_ACCESS_VIOLATION, "Access Violation",
     "The thread attempted to read from or write to a virtual address for which it does not have the "
     "appropriate access",
     RaiseAs<st::access_violation>},
    {EXCEPTION_GUARD_PAGE, "Guard Page", "Guard Page Exception", RaiseAs<st::guard_page>},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "Datatype Misalignment",
     "The thread attempted to read or write data that is misaligned on hardware that does not provide "
     "alignment. For example, 16-bit values must be aligned on 2-byte boundaries, 32-bit values on 4-byte "
     "boundaries, and so on",
     RaiseAs<st::datatype_misalignment>},
    {EXCEPTION_BREAKPOINT, "Breakpoint", "A breakpoint was encountered", RaiseAs<st::breakpoint>},
    {EXCEPTION_SINGLE_STEP, "Single Step",
     "A trace trap or other single-instruction mechanism signaled that one instruction has been executed",
     RaiseAs<st::single_step>},
    {EXCEPTION_IN_PAGE_ERROR, "In Page Error",
     "The thread tried to access a page that was not present, and the system was unable to load the page. "
     "For example, this exception might occur if a network connection is lost while running a program over "
     "the network",
     RaiseAs<st::in_page_error>},
    {EXCEPTION_INVALID_HANDLE, "Invalid Handle", "Invalid Handle Exception", RaiseAs<st::invalid_handle>},
    {STATUS_NO_MEMORY, "No Memory",
     "The allocation attempt failed because of a lack of available memory or heap corruption.",
     RaiseAs<st::no_memory>},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "Illegal Instruction", "The thread tried to execute an invalid instruction",
     RaiseAs<st::illegal_instruction>},
    {EXCEPTION_NONCONTINUABLE_EXCEPTION, "Noncontinuable Exception",
     "The thread attempted to continue execution after a noncontinuable exception occurred",
     RaiseAs<st::noncontinuable_exception>},
    {EXCEPTION_INVALID_DISPOSITION, "Invalid Disposition",
     "An exception handler returned an invalid disposition to the exception dispatcher. Programmers using a "
     "high-level language such as C should never encounter this exception",
     RaiseAs<st::invalid_disposition>},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "Array Bounds Exceeded",
     "The thread attempted to access an array element that is out of bounds, and the underlying hardware "
     "supports bounds checking",
     RaiseAs<st::array_bounds_exceeded>},
    {EXCEPTION_FLT_DENORMAL_OPERAND, "Float Denormal Operand",
     "One of the operands in a floating-point operation is denormal. A denormal value is one that is too "
     "small to represent as a standard floating-point value",
     RaiseAs<st::flt_denormal_operand>},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "Float Divide by Zero",
     "The thread attempted to divide a floating-point value by a floating-point divisor of zero",
     RaiseAs<st::flt_divide_by_zero>},
    {EXCEPTION_FLT_INEXACT_RESULT, "Float Inexact Result",
     "The result of a floating-point operation cannot be represented exactly as a decimal fraction",
     RaiseAs<st::flt_inexact_result>},
    {EXCEPTION_FLT_INVALID_OPERATION, "Float Invalid Operation",
     "This exception represents any floating-point exception not included in this list",
     RaiseAs<st::flt_invalid_operation>},
    {EXCEPTION_FLT_OVERFLOW, "Float Overflow",
     "The exponent of a floating-point operation is greater than the magnitude allowed by the corresponding "
     "type",
     RaiseAs<st::flt_overflow>},
    {EXCEPTION_FLT_STACK_CHECK, "Float Stack Check",
     "The stack overflowed or underflowed as the result of a floating-point operation",
     RaiseAs<st::flt_stack_check>},
    {EXCEPTION_FLT_UNDERFLOW, "Float Underflow",
     "The exponent of a floating-point operation is less than the magnitude allowed by the corresponding type",
     RaiseAs<st::flt_underflow>},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "Integer Divide by Zero",
     "The thread attempted to divide an integer value by an integer divisor of zero",
     RaiseAs<st::int_divide_by_zero>},
    {EXCEPTION_INT_OVERFLOW, "Integer Overflow",
     "The result of an integer operation caused a carry out of the most significant bit of the result",
     RaiseAs<st::int_overflow>},
    {EXCEPTION_PRIV_INSTRUCTION, "Privileged Instruction",
     "The thread attempted to execute an instruction whose operation is not allowed in the current machine "
     "mode",
     RaiseAs<st::priv_instruction>},
    {EXCEPTION_STACK_OVERFLOW, "Stack Overflow", "The thread used up its stack", RaiseAs<st::stack_overflow>},
    {kMicrosoftCppException, "Microsoft C++ Exception", "Microsoft C++ Exception", RaiseAs<st::microsoft_cpp>},
};

const KnownException* Find(unsigned code) {
  for (const KnownException& known : kKnownExceptions) {
    if (known.code == code) return &known;
  }
  return nullptr;
}

// The name of an unknown code; shared by all threads, as the header says.
char g_unknownName[sizeof(unsigned) * 2 + 1];

ULONG_PTR Parameter(const EXCEPTION_POINTERS* info, unsigned index) {
  if (info == nullptr || info->ExceptionRecord == nullptr) return 0;
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  return index < record.NumberParameters && index < EXCEPTION_MAXIMUM_PARAMETERS ? record.ExceptionInformation[index]
                                                                                 : 0;
}

}  // namespace

se_translator::exception::exception(EXCEPTION_POINTERS* info) : _info(info) {}

se_translator::exception::~exception() = default;

unsigned int se_translator::exception::code() const {
  return _info != nullptr && _info->ExceptionRecord != nullptr ? _info->ExceptionRecord->ExceptionCode : 0;
}

void* se_translator::exception::address() const {
  return _info != nullptr && _info->ExceptionRecord != nullptr ? _info->ExceptionRecord->ExceptionAddress : nullptr;
}

EXCEPTION_POINTERS* se_translator::exception::info() const { return _info; }

const char* se_translator::exception::name() const { return se_translator::name(code()); }

const char* se_translator::exception::description() const { return se_translator::description(code()); }

bool se_translator::access_violation::is_read_op() const { return Parameter(info(), 0) == 0; }

ULONG_PTR se_translator::access_violation::inaccessible_address() const { return Parameter(info(), 1); }

ULONG_PTR se_translator::no_memory::mem_size() const { return Parameter(info(), 0); }

se_translator::se_translator() : _previous(_set_se_translator(translator)) {}

se_translator::~se_translator() { _set_se_translator(_previous); }

void se_translator::translator(unsigned int code, EXCEPTION_POINTERS* info) {
  if (info != nullptr && info->ExceptionRecord != nullptr) code = info->ExceptionRecord->ExceptionCode;
  const KnownException* known = Find(code);
  if (known != nullptr) known->raise(info);
  throw exception(info);
}

const char* se_translator::name(unsigned int code) {
  const KnownException* known = Find(code);
  if (known != nullptr) return known->name;
  snprintf(g_unknownName, sizeof g_unknownName, "%x", code);
  return g_unknownName;
}

const char* se_translator::description(unsigned int code) {
  const KnownException* known = Find(code);
  return known != nullptr ? known->description : "Unknown Exception";
}
