// DMO registrations arrive from static initialisers of the DMO modules, so the registry
// is built on first use and never destroyed (as the class registry).
#include <wchar.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "dmoreg.h"
#include "winerror.h"

namespace {

class DmoRegistry {
 public:
  static DmoRegistry& instance() {
    static DmoRegistry* const registry = new DmoRegistry;
    return *registry;
  }

  void add(const GUID& clsid, const GUID& category, const wchar_t* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[{clsid, category}] = name != nullptr ? name : L"";
  }

  bool remove(const GUID& clsid, const GUID& category) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.erase({clsid, category}) > 0;
  }

  bool contains(const GUID& clsid, const GUID& category) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.count({clsid, category}) > 0;
  }

  // The name under any category, or false when the class is nowhere.
  bool name(const GUID& clsid, std::wstring* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : entries_) {
      if (entry.first.first == clsid) {
        *name = entry.second;
        return true;
      }
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<GUID, GUID>, std::wstring> entries_;
};

}  // namespace

HRESULT WINAPI DMORegister(LPCWSTR name, REFCLSID clsidDMO, REFGUID category, DWORD, DWORD, const DMO_PARTIAL_MEDIATYPE*,
                           DWORD, const DMO_PARTIAL_MEDIATYPE*) {
  DmoRegistry::instance().add(clsidDMO, category, name);
  return S_OK;
}

HRESULT WINAPI DMOUnregister(REFCLSID clsidDMO, REFGUID category) {
  return DmoRegistry::instance().remove(clsidDMO, category) ? S_OK : S_FALSE;
}

HRESULT WINAPI DMOGetName(REFCLSID clsidDMO, WCHAR name[80]) {
  if (name == nullptr) return E_POINTER;
  std::wstring registered;
  if (!DmoRegistry::instance().name(clsidDMO, &registered)) return E_FAIL;
  wcsncpy(name, registered.c_str(), 79);
  name[79] = L'\0';
  return registered.empty() ? S_FALSE : S_OK;
}

HRESULT WINAPI KcmDMOIsRegistered(REFCLSID clsidDMO, REFGUID category) {
  return DmoRegistry::instance().contains(clsidDMO, category) ? S_OK : S_FALSE;
}
