// The crash records of a translated access violation and of an allocation failure: what
// happened, where, and the stack trace of the fault, logged as one critical check.
#include <iomanip>
#include <sstream>

#include "KestroCrashReport.h"
#include "KestroLog.h"

namespace {

// "<name> at 0x<faulting instruction, all pointer digits, upper case>"
void WriteHeading(std::ostream& text, const se_translator::exception& error) {
  text << error.name() << " at 0x" << std::hex << std::uppercase << std::setfill('0')
       << std::setw(sizeof(void*) * 2) << reinterpret_cast<uintptr_t>(error.address())
       << std::nouppercase << std::setfill(' ');
}

template <class WriteDetail>
bool Dump(const char* file, int line, const se_translator::exception& error, WriteDetail writeDetail) {
  try {
    std::ostringstream text;
    WriteHeading(text, error);
    writeDetail(text);
    text << "\nstack trace : \n";
    EXCEPTION_POINTERS* info = error.info();
    if (info != nullptr) sym_engine::stack_trace(text, info->ContextRecord, 0, sym_engine::default_fmt());
    kcm_logExpression(file, line, text.str().c_str(), KcmLogCritical, true);
  } catch (const std::exception&) {
    // Out of memory while describing a crash: there is nothing left to report it with.
  }
  return true;
}

}  // namespace

bool ZT_Dump_Access_violation(const char* file, int line, se_translator::access_violation& error) {
  return Dump(file, line, error, [&error](std::ostream& text) {
    text << ", thread attempts to " << (error.is_read_op() ? "read" : "write") << " at 0x" << std::hex
         << error.inaccessible_address();
  });
}

bool ZT_Dump_Se_translator(const char* file, int line, se_translator::no_memory& error) {
  return Dump(file, line, error, [&error](std::ostream& text) {
    text << ", unable to allocate " << std::dec << error.mem_size() << " bytes";
  });
}
