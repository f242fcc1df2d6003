#include "DataBaseNames.h"

#include "comdef.h"

namespace Kestro {
namespace database {

namespace {

class NameCache {
 public:
  NameCache() = default;
  NameCache(const NameCache&) = delete;
  NameCache& operator=(const NameCache&) = delete;
  ~NameCache() {
    for (BSTR name : names_) SysFreeString(name);
  }

  BSTR Find(const wchar_t* name) {
    for (BSTR cached : names_) {
      if (cached != nullptr && Equal(cached, name)) return cached;
    }
    const BSTR made = SysAllocString(name);
    if (made == nullptr) _com_issue_error(E_OUTOFMEMORY);
    SysFreeString(names_[next_]);  // the oldest gives way
    names_[next_] = made;
    next_ = (next_ + 1) % kCapacity;
    return made;
  }

 private:
  // Most names differ in the first character: a loop here beats a library call.
  static bool Equal(const wchar_t* left, const wchar_t* right) {
    for (; *left == *right; ++left, ++right) {
      if (*left == 0) return true;
    }
    return false;
  }

  static constexpr size_t kCapacity = 16;
  BSTR names_[kCapacity] = {};
  size_t next_ = 0;
};

}  // namespace

BSTR CachedName(const wchar_t* name) {
  thread_local NameCache cache;
  return cache.Find(name == nullptr ? L"" : name);
}

}  // namespace database
}  // namespace Kestro
