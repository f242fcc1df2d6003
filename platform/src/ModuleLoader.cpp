// The module loader on the dynamic linker. "Name.dll" stands for "libName.so".
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "WideString.h"
#include "errhandlingapi.h"
#include "libloaderapi.h"
#include "winerror.h"

namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithDll(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".dll";
}

// "Name.dll" -> "libName.so"; any other file name stays as it is.
std::string LinuxFileName(const std::string& windowsFileName) {
  if (!EndsWithDll(windowsFileName)) return windowsFileName;
  return "lib" + windowsFileName.substr(0, windowsFileName.size() - 4) + ".so";
}

std::string ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  path[length] = '\0';
  return path;
}

// The file of the module whose code lies at `address`; the executable's for its own code.
std::string ModulePathAt(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') return ExecutablePath();
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return ExecutablePath();
  return resolved;
}

// Places to try, in order: beside the caller, beside the executable, beside this platform
// library (where the installed libraries live together), then the linker's search.
std::vector<std::string> CandidatePaths(const std::string& requested, const void* callerAddress) {
  const std::string file = LinuxFileName(FileNameOf(requested));
  if (requested.find('/') != std::string::npos) return {DirectoryOf(requested) + "/" + file};
  std::vector<std::string> candidates;
  const std::string directories[] = {DirectoryOf(ModulePathAt(callerAddress)), DirectoryOf(ExecutablePath()),
                                     DirectoryOf(ModulePathAt(reinterpret_cast<const void*>(&CandidatePaths)))};
  for (const std::string& dir : directories) {
    const std::string path = dir + "/" + file;
    if (!dir.empty() && std::find(candidates.begin(), candidates.end(), path) == candidates.end()) {
      candidates.push_back(path);
    }
  }
  candidates.push_back(file);
  return candidates;
}

link_map* FirstLoadedModule() {
  void* self = dlopen(nullptr, RTLD_NOW);
  link_map* map = nullptr;
  if (self == nullptr || dlinfo(self, RTLD_DI_LINKMAP, &map) != 0) return nullptr;
  while (map != nullptr && map->l_prev != nullptr) map = map->l_prev;
  return map;
}

// A handle from the dynamic linker is its link map; anything else is refused before use.
bool IsLoadedModule(const void* handle) {
  for (link_map* map = FirstLoadedModule(); map != nullptr; map = map->l_next) {
    if (map == handle) return true;
  }
  return false;
}

// The loads made through LoadLibrary, so that FreeLibrary only ever closes what it opened.
class LoadedModules {
 public:
  void Add(void* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[handle];
  }
  bool Release(void* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(handle);
    if (it == counts_.end()) return false;
    if (--it->second == 0) counts_.erase(it);
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<void*, int> counts_;
};

LoadedModules& Loaded() {
  static LoadedModules* modules = new LoadedModules;  // outlives every static destructor
  return *modules;
}

HMODULE LoadModule(const std::string& requested, const void* callerAddress) {
  if (requested.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (const std::string& path : CandidatePaths(requested, callerAddress)) {
    if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      Loaded().Add(handle);
      return static_cast<HMODULE>(handle);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE FindLoadedModule(const std::string& requested) {
  if (requested.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool byPath = requested.find('/') != std::string::npos;
  const std::string wanted = byPath ? CandidatePaths(requested, nullptr).front() : LinuxFileName(requested);
  char resolvedWanted[PATH_MAX];
  if (byPath && realpath(wanted.c_str(), resolvedWanted) == nullptr) resolvedWanted[0] = '\0';
  for (link_map* map = FirstLoadedModule(); map != nullptr; map = map->l_next) {
    const std::string name = map->l_name != nullptr ? map->l_name : "";
    if (name.empty()) continue;
    if (byPath ? name == resolvedWanted || name == wanted : FileNameOf(name) == wanted) {
      return reinterpret_cast<HMODULE>(map);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

std::string ModuleFilePath(HMODULE module) {
  if (module == nullptr) return ExecutablePath();
  if (!IsLoadedModule(module)) return std::string();
  const link_map* map = reinterpret_cast<const link_map*>(module);
  if (map->l_name == nullptr || map->l_name[0] == '\0') return ExecutablePath();
  char resolved[PATH_MAX];
  return realpath(map->l_name, resolved) != nullptr ? std::string(resolved) : std::string(map->l_name);
}

// Copies with the truncation rule of GetModuleFileName; `Char` is char or wchar_t.
template <typename Char>
DWORD CopyModulePath(const std::basic_string<Char>& path, Char* buffer, DWORD size) {
  if (path.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    std::copy_n(path.begin(), size - 1, buffer);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::copy(path.begin(), path.end(), buffer);
  buffer[path.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

}  // namespace

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
  return LoadModule(kcm_platform::WideToUtf8(fileName), __builtin_return_address(0));
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  return LoadModule(fileName != nullptr ? fileName : "", __builtin_return_address(0));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (module == nullptr || !Loaded().Release(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return dlclose(module) == 0 ? TRUE : FALSE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  void* handle = module != nullptr ? static_cast<void*>(module) : dlopen(nullptr, RTLD_NOW);
  if (procName == nullptr || !IsLoadedModule(handle)) {
    SetLastError(procName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  dlerror();
  void* address = dlsym(handle, procName);
  if (address == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName == nullptr) return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
  return FindLoadedModule(kcm_platform::WideToUtf8(moduleName));
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr) return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
  return FindLoadedModule(moduleName);
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  const std::string path = ModuleFilePath(module);
  return CopyModulePath(kcm_platform::Utf8ToWide(path.c_str()), fileName, size);
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  return CopyModulePath(ModuleFilePath(module), fileName, size);
}
