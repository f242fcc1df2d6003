// Like the class registry, built on first use and never destroyed, so modules may
// register and revoke from static initialisers and destructors.
#include "TransformFilterRegistry.h"

#include <algorithm>
#include <mutex>

#include "KestroFilterRegistry.h"

namespace kcm::dshow {

namespace {

struct Entry {
  CLSID clsid;
  DWORD merit;
};

class TransformFilterRegistry {
 public:
  static TransformFilterRegistry& instance() {
    static TransformFilterRegistry* const registry = new TransformFilterRegistry;
    return *registry;
  }

  void add(REFCLSID clsid, DWORD merit) {
    std::lock_guard<std::mutex> lock(mutex_);
    removeLocked(clsid);
    entries_.push_back(Entry{clsid, merit});
  }

  void remove(REFCLSID clsid) {
    std::lock_guard<std::mutex> lock(mutex_);
    removeLocked(clsid);
  }

  std::vector<CLSID> byMerit() {
    std::vector<Entry> entries;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      entries = entries_;
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.merit > b.merit; });
    std::vector<CLSID> classes;
    for (const Entry& entry : entries) classes.push_back(entry.clsid);
    return classes;
  }

 private:
  void removeLocked(REFCLSID clsid) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.clsid == clsid; }),
                   entries_.end());
  }

  std::mutex mutex_;
  std::vector<Entry> entries_;  // registration order; guarded by mutex_
};

}  // namespace

std::vector<CLSID> transformFiltersByMerit() { return TransformFilterRegistry::instance().byMerit(); }

}  // namespace kcm::dshow

void KcmRegisterTransformFilter(REFCLSID clsid, DWORD merit) {
  kcm::dshow::TransformFilterRegistry::instance().add(clsid, merit);
}

void KcmRevokeTransformFilter(REFCLSID clsid) { kcm::dshow::TransformFilterRegistry::instance().remove(clsid); }
