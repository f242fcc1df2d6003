// Symbol lookups over libdwfl, reporting the process's own modules from /proc/self/maps.
#include "SymbolHandler.h"

#include <elfutils/libdwfl.h>
#include <unistd.h>

namespace kcm {

namespace {

const Dwfl_Callbacks kCallbacks = {
    dwfl_linux_proc_find_elf,
    dwfl_standard_find_debuginfo,
    nullptr,
    nullptr,
};

// The line-table row covering `address`, with the module's load bias.
Dwarf_Line* LineAt(Dwfl_Module* module, uint64_t address, Dwarf_Addr* bias) {
  Dwfl_Line* line = dwfl_module_getsrc(module, address);
  if (line != nullptr) return dwfl_dwarf_line(line, bias);
  // That lookup goes by .debug_aranges, which clang does not write by default: look
  // for the compilation unit by its address ranges instead.
  for (Dwarf_Die* unit = nullptr; (unit = dwfl_module_nextcu(module, unit, bias)) != nullptr;) {
    if (dwarf_haspc(unit, address - *bias) == 1) return dwarf_getsrc_die(unit, address - *bias);
  }
  return nullptr;
}

}  // namespace

SymbolHandler& SymbolHandler::instance() {
  static SymbolHandler handler;
  return handler;
}

SymbolHandler::SymbolHandler() {
  dwfl_ = dwfl_begin(&kCallbacks);
  if (dwfl_ == nullptr) return;
  dwfl_report_begin(dwfl_);
  if (!reportModules()) {
    dwfl_end(dwfl_);
    dwfl_ = nullptr;
  }
}

SymbolHandler::~SymbolHandler() {
  std::lock_guard<std::mutex> lock(mutex_);
  dwfl_end(dwfl_);
  dwfl_ = nullptr;
}

bool SymbolHandler::reportModules() {
  const bool reported = dwfl_linux_proc_report(dwfl_, getpid()) == 0;
  return dwfl_report_end(dwfl_, nullptr, nullptr) == 0 && reported;
}

Dwfl_Module* SymbolHandler::moduleAt(uint64_t address) {
  if (dwfl_ == nullptr) return nullptr;
  Dwfl_Module* module = dwfl_addrmodule(dwfl_, address);
  if (module != nullptr) return module;
  // A library loaded since the last look: report the mappings again.
  dwfl_report_begin_add(dwfl_);
  reportModules();
  return dwfl_addrmodule(dwfl_, address);
}

bool SymbolHandler::contains(uint64_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  return moduleAt(address) != nullptr;
}

bool SymbolHandler::moduleFile(uint64_t address, std::string* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  Dwfl_Module* module = moduleAt(address);
  const char* name =
      module != nullptr ? dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
                        : nullptr;
  if (name == nullptr) return false;
  *path = name;
  return true;
}

bool SymbolHandler::symbol(uint64_t address, std::string* linkageName, uint64_t* displacement) {
  std::lock_guard<std::mutex> lock(mutex_);
  Dwfl_Module* module = moduleAt(address);
  if (module == nullptr) return false;
  GElf_Off offset = 0;
  GElf_Sym symbol;
  const char* name = dwfl_module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr);
  if (name == nullptr || *name == '\0') return false;
  *linkageName = name;
  *displacement = offset;
  return true;
}

bool SymbolHandler::sourceLine(uint64_t address, std::string* file, unsigned* line, uint64_t* lineStart) {
  std::lock_guard<std::mutex> lock(mutex_);
  Dwfl_Module* module = moduleAt(address);
  Dwarf_Addr bias = 0;
  Dwarf_Line* entry = module != nullptr ? LineAt(module, address, &bias) : nullptr;
  Dwarf_Addr start = 0;
  int number = 0;
  const char* name = entry != nullptr ? dwarf_linesrc(entry, nullptr, nullptr) : nullptr;
  if (name == nullptr || dwarf_lineaddr(entry, &start) != 0 || dwarf_lineno(entry, &number) != 0) return false;
  *file = name;
  *line = static_cast<unsigned>(number);
  *lineStart = start + bias;
  return true;
}

}  // namespace kcm
