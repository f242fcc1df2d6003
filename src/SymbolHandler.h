// The process-wide symbol handler behind sym_engine: modules, symbols and source lines
// of code addresses in this process, read from the ELF symbol tables and DWARF line
// tables with elfutils' libdwfl.
//
// Set up on first use and torn down at exit. libdwfl is not re-entrant, so every call
// takes the handler's lock; traces may be taken from several threads at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

struct Dwfl;
struct Dwfl_Module;

namespace kcm {

class SymbolHandler {
 public:
  static SymbolHandler& instance();

  SymbolHandler(const SymbolHandler&) = delete;
  SymbolHandler& operator=(const SymbolHandler&) = delete;

  // Each answers false, leaving its outputs alone, when the address lies in no module
  // of the process or the module has no such information.
  bool contains(uint64_t address);
  bool moduleFile(uint64_t address, std::string* path);
  bool symbol(uint64_t address, std::string* linkageName, uint64_t* displacement);
  bool sourceLine(uint64_t address, std::string* file, unsigned* line, uint64_t* lineStart);

 private:
  SymbolHandler();
  ~SymbolHandler();
  Dwfl_Module* moduleAt(uint64_t address);  // with the lock held
  bool reportModules();

  std::mutex mutex_;
  Dwfl* dwfl_ = nullptr;  // null when the set-up failed: every lookup fails then
};

}  // namespace kcm
