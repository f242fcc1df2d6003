// The process's registry of clipboard format names.
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "KestroClipboardFormats.h"
#include "WideString.h"
#include "errhandlingapi.h"
#include "winerror.h"

namespace {

constexpr UINT kFirstRegisteredFormat = 0xC000;
constexpr UINT kLastRegisteredFormat = 0xFFFF;

bool equalIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class ClipboardFormatRegistry {
 public:
  static ClipboardFormatRegistry& instance() {
    static ClipboardFormatRegistry registry;
    return registry;
  }

  UINT registerName(const std::wstring& name) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (size_t i = 0; i < names_.size(); ++i) {
      if (equalIgnoringAsciiCase(names_[i], name)) return kFirstRegisteredFormat + UINT(i);
    }
    if (kFirstRegisteredFormat + names_.size() > kLastRegisteredFormat) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    names_.push_back(name);
    return kFirstRegisteredFormat + UINT(names_.size() - 1);
  }

  bool name(UINT format, std::wstring* out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (format < kFirstRegisteredFormat || format - kFirstRegisteredFormat >= names_.size()) return false;
    *out = names_[format - kFirstRegisteredFormat];
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<std::wstring> names_;  // guarded by mutex_; index + 0xC000 is the format
};

UINT registerChecked(const std::wstring& name) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  try {
    return ClipboardFormatRegistry::instance().registerName(name);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

template <class Char>
int copyName(const std::basic_string<Char>& name, Char* out, int max) {
  const size_t length = name.size() < size_t(max - 1) ? name.size() : size_t(max - 1);
  name.copy(out, length);
  out[length] = 0;
  return int(length);
}

}  // namespace

UINT WINAPI RegisterClipboardFormatW(LPCWSTR name) { return registerChecked(name ? std::wstring(name) : std::wstring()); }

UINT WINAPI RegisterClipboardFormatA(LPCSTR name) {
  return registerChecked(name ? kcm_platform::Utf8ToWide(name) : std::wstring());
}

int WINAPI GetClipboardFormatNameW(UINT format, LPWSTR name, int max) {
  std::wstring found;
  if (name == nullptr || max <= 0 || !ClipboardFormatRegistry::instance().name(format, &found)) return 0;
  return copyName(found, name, max);
}

int WINAPI GetClipboardFormatNameA(UINT format, LPSTR name, int max) {
  std::wstring found;
  if (name == nullptr || max <= 0 || !ClipboardFormatRegistry::instance().name(format, &found)) return 0;
  return copyName(kcm_platform::WideToUtf8(found.c_str()), name, max);
}
