// sym_engine: stack walks and their module, symbol and source-line lookups.
//
// The walk has two sources. For the context of a translated fault, the platform
// captured the program counters while the faulting frames still existed (by the time a
// catch clause runs, they have been unwound and their stack reused). Any other context
// must lie on the calling thread's live stack: the walk unwinds from here with the
// unwind tables and starts at the frame that holds the context's stack pointer.
#include <cxxabi.h>
#include <errno.h>
#include <sys/uio.h>
#include <unistd.h>
#include <unwind.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KestroCrashReport.h"
#include "SymbolHandler.h"

namespace {

constexpr size_t kMaxLiveFrames = 1024;
// The symbol record of the debug-help interface is 512 bytes, leaving 488 for the name.
constexpr size_t kSymbolNameCapacity = 488;
constexpr unsigned kLineSearchBack = 99;

struct FrameWalk {
  std::vector<DWORD64> pcs;  // innermost first
  size_t next = 0;
};

// Copies a caller's context without trusting the pointer: an unreadable one is refused.
bool ReadContext(CONTEXT* to, const CONTEXT* from) {
  iovec local{to, sizeof *to};
  iovec remote{const_cast<CONTEXT*>(from), sizeof *from};
  const ssize_t read = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
  if (read == static_cast<ssize_t>(sizeof *to)) return true;
  if (read >= 0 || errno == EFAULT) return false;
  std::memcpy(to, from, sizeof *to);  // the call is not permitted here; take the pointer on trust
  return true;
}

struct LiveWalk {
  uintptr_t stackPointer;
  std::vector<DWORD64>* pcs;
  bool started;
};

_Unwind_Reason_Code CollectLiveFrame(struct _Unwind_Context* unwind, void* argument) {
  LiveWalk& walk = *static_cast<LiveWalk*>(argument);
  if (!walk.started) {
    // Seen from a frame, the unwinder's CFA is that frame's stack pointer at its call.
    // The first frame whose stack pointer lies above the context's is the caller of
    // the frame that holds the context, whose program counter is the context's own.
    if (_Unwind_GetCFA(unwind) <= walk.stackPointer) return _URC_NO_REASON;
    walk.started = true;
  }
  walk.pcs->push_back(_Unwind_GetIP(unwind));
  return walk.pcs->size() < kMaxLiveFrames ? _URC_NO_REASON : _URC_END_OF_STACK;
}

__attribute__((noinline)) bool WalkLiveStack(const CONTEXT& context, std::vector<DWORD64>* pcs) {
  const char here = 0;
  // Below this frame the stack is free: a context there describes frames already gone.
  if (context.Rsp < reinterpret_cast<uintptr_t>(&here)) return false;
  pcs->reserve(kMaxLiveFrames);  // the unwinder's callback must not allocate
  pcs->push_back(context.Rip);
  LiveWalk walk{context.Rsp, pcs, false};
  _Unwind_Backtrace(CollectLiveFrame, &walk);
  return walk.started;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "ns::f(int) const" -> "ns::f": the name without its parameter list, as the symbol
// records of the debug-help interface give it.
std::string WithoutParameters(const std::string& name) {
  const size_t close = name.find_last_of(')');
  if (close == std::string::npos) return name;
  int depth = 0;
  for (size_t i = close + 1; i-- > 0;) {
    if (name[i] == ')') ++depth;
    if (name[i] == '(' && --depth == 0) return i > 0 ? name.substr(0, i) : name;
  }
  return name;
}

std::string Demangled(const std::string& linkageName) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(linkageName.c_str(), nullptr, nullptr, &status);
  if (demangled == nullptr) return linkageName;
  std::string name = WithoutParameters(demangled);
  std::free(demangled);
  return name;
}

unsigned CopyOut(const std::string& text, char* buffer, unsigned size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t length = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<unsigned>(length);
}

// One frame's texts for the format directives, each looked up when first asked for.
class FrameText {
 public:
  explicit FrameText(sym_engine& engine) : engine_(engine) {}

  void file(std::ostream& os) {
    lookUpLine();
    os << (fileLength_ > 0 ? file_ : " ");
  }
  void line(std::ostream& os) {
    lookUpLine();
    os << line_;
  }
  void lineDisplacement(std::ostream& os) {
    lookUpLine();
    os << lineDisplacement_;
  }
  void module(std::ostream& os) {
    if (!moduleDone_) moduleLength_ = engine_.module(module_, sizeof module_);
    moduleDone_ = true;
    os << (moduleLength_ > 0 ? module_ : "?.?");
  }
  void symbol(std::ostream& os) {
    lookUpSymbol();
    os << (symbolLength_ > 0 ? symbol_ : "?()");
  }
  void symbolDisplacement(std::ostream& os) {
    lookUpSymbol();
    os << symbolDisplacement_;
  }

 private:
  void lookUpLine() {
    if (!lineDone_) fileLength_ = engine_.fileline(file_, sizeof file_, &line_, &lineDisplacement_);
    lineDone_ = true;
  }
  void lookUpSymbol() {
    if (!symbolDone_) symbolLength_ = engine_.symbol(symbol_, sizeof symbol_, &symbolDisplacement_);
    symbolDone_ = true;
  }

  sym_engine& engine_;
  bool lineDone_ = false, moduleDone_ = false, symbolDone_ = false;
  unsigned fileLength_ = 0, moduleLength_ = 0, symbolLength_ = 0;
  unsigned line_ = 0, lineDisplacement_ = 0, symbolDisplacement_ = 0;
  char file_[4096];
  char module_[1024];
  char symbol_[1024];
};

void WriteFrame(std::ostream& os, sym_engine& engine, const char* format) {
  FrameText text(engine);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      os << *p;
      continue;
    }
    const char directive = p[1];
    const bool displacement = (directive == 'l' || directive == 's') && p[2] == 'd';
    switch (directive) {
      case 'f': text.file(os); break;
      case 'l': displacement ? text.lineDisplacement(os) : text.line(os); break;
      case 'm': text.module(os); break;
      case 's': displacement ? text.symbolDisplacement(os) : text.symbol(os); break;
      case '%': os << '%'; break;
      case '\0': os << '%'; continue;  // a trailing percent sign: the loop ends with it
      default: os << '%' << directive; break;
    }
    p += displacement ? 2 : 1;
  }
}

}  // namespace

sym_engine::sym_engine() : _address(0), _frame(nullptr), _context() {}

sym_engine::~sym_engine() { delete static_cast<FrameWalk*>(_frame); }

const char* sym_engine::default_fmt() { return "%f(%l) : %m at %s\n"; }

bool sym_engine::stack_trace(std::ostream& os, CONTEXT* context, unsigned skip, const char* fmt) {
  sym_engine engine;
  return stack_trace(os, engine, context, skip, fmt);
}

bool sym_engine::stack_trace(std::ostream& os, unsigned skip, const char* fmt) {
  // A Linux thread can read its own registers, so the context is captured right here
  // rather than by a helper thread that suspends this one. Frame 0 is this function.
  CONTEXT context;
  RtlCaptureContext(&context);
  sym_engine engine;
  return stack_trace(os, engine, &context, skip, fmt);
}

bool sym_engine::stack_trace(std::ostream& os, sym_engine& engine, CONTEXT* context, unsigned skip,
                             const char* fmt) {
  try {
    if (!engine.stack_first(context)) return false;
    if (fmt == nullptr) fmt = default_fmt();
    os << std::dec;
    bool more = true;
    for (unsigned skipped = 0; skipped < skip && more; ++skipped) more = engine.stack_next();
    while (more) {
      WriteFrame(os, engine, fmt);
      if (!os.good()) break;
      more = engine.stack_next();
    }
    return true;
  } catch (const std::exception&) {  // out of memory, or a stream that throws on failure
    return false;
  }
}

bool sym_engine::stack_first(CONTEXT* context) {
  if (context == nullptr || !ReadContext(&_context, context)) return false;
  if (_frame == nullptr) _frame = new FrameWalk;
  FrameWalk& walk = *static_cast<FrameWalk*>(_frame);
  walk.pcs.clear();
  walk.next = 0;
  const DWORD64* captured = nullptr;
  const unsigned count = KcmFaultFrames(context, &captured);
  if (count > 0) {
    walk.pcs.assign(captured, captured + count);
  } else if (!WalkLiveStack(_context, &walk.pcs)) {
    return false;
  }
  return stack_next();
}

bool sym_engine::stack_next() {
  FrameWalk* walk = static_cast<FrameWalk*>(_frame);
  if (walk == nullptr || walk->next >= walk->pcs.size()) return false;
  const DWORD64 pc = walk->pcs[walk->next++];
  if (pc == 0 || !kcm::SymbolHandler::instance().contains(pc)) {
    walk->next = walk->pcs.size();  // the walk ends outside known code
    return false;
  }
  _address = pc;
  return true;
}

unsigned sym_engine::module(char* buffer, unsigned size) {
  std::string path;
  if (buffer == nullptr || size == 0 || !kcm::SymbolHandler::instance().moduleFile(_address, &path)) return 0;
  return CopyOut(BaseName(path), buffer, size);
}

unsigned sym_engine::symbol(char* buffer, unsigned size, unsigned* displacement) {
  std::string linkageName;
  uint64_t offset = 0;
  if (buffer == nullptr || size == 0 || !kcm::SymbolHandler::instance().symbol(_address, &linkageName, &offset)) {
    return 0;
  }
  std::string name = Demangled(linkageName);
  if (name.size() >= kSymbolNameCapacity) name.resize(kSymbolNameCapacity - 1);
  if (displacement != nullptr) *displacement = static_cast<unsigned>(offset);
  return CopyOut(name + "()", buffer, size);
}

unsigned sym_engine::fileline(char* buffer, unsigned size, unsigned* line, unsigned* displacement) {
  if (buffer == nullptr || size == 0) return 0;
  kcm::SymbolHandler& handler = kcm::SymbolHandler::instance();
  std::string file;
  unsigned number = 0;
  uint64_t lineStart = 0;
  uint64_t offset = 0;
  if (handler.sourceLine(_address, &file, &number, &lineStart)) {
    offset = _address - lineStart;
  } else {
    // No line at the address itself: the nearest one up to 99 bytes before it, the
    // distance stepped back being the displacement.
    unsigned back = 1;
    while (back <= kLineSearchBack && !handler.sourceLine(_address - back, &file, &number, &lineStart)) ++back;
    if (back > kLineSearchBack) return 0;
    offset = back;
  }
  if (line != nullptr) *line = number;
  if (displacement != nullptr) *displacement = static_cast<unsigned>(offset);
  return CopyOut(file, buffer, size);
}

DWORD64 sym_engine::address() const { return _address; }

void sym_engine::address(DWORD64 address) { _address = address; }
