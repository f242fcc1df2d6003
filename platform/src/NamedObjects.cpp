// The process's registry of named kernel objects.
#include "NamedObjects.h"

#include <mutex>
#include <unordered_map>

namespace kcm::kernel {

namespace {

void appendUtf8(std::string* text, char32_t code) {
  if (code < 0x80) {
    text->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    text->push_back(static_cast<char>(0xC0 | (code >> 6)));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    text->push_back(static_cast<char>(0xE0 | (code >> 12)));
    text->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    text->push_back(static_cast<char>(0xF0 | (code >> 18)));
    text->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

class NamedObjectRegistry {
 public:
  std::shared_ptr<KernelObject> findOrCreate(const std::string& name,
                                             const std::function<std::shared_ptr<KernelObject>()>& make,
                                             bool* created) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = objects_.find(name);
    if (entry != objects_.end()) {
      if (std::shared_ptr<KernelObject> existing = entry->second.lock()) {
        *created = false;
        return existing;
      }
    }
    forgetDeadObjects();
    std::shared_ptr<KernelObject> object = make();
    objects_[name] = object;
    *created = true;
    return object;
  }

 private:
  void forgetDeadObjects() {
    for (auto entry = objects_.begin(); entry != objects_.end();) {
      entry = entry->second.expired() ? objects_.erase(entry) : std::next(entry);
    }
  }

  std::mutex mutex_;
  std::unordered_map<std::string, std::weak_ptr<KernelObject>> objects_;  // guarded by mutex_
};

NamedObjectRegistry& registry() {
  static NamedObjectRegistry* const instance = new NamedObjectRegistry;
  return *instance;
}

}  // namespace

std::string objectNameFromWide(LPCWSTR name) {
  std::string text;
  for (; name && *name; ++name) appendUtf8(&text, static_cast<char32_t>(*name));
  return text;
}

std::string objectNameFromNarrow(LPCSTR name) { return name ? std::string(name) : std::string(); }

std::shared_ptr<KernelObject> findOrCreateNamedObject(const std::string& name,
                                                      const std::function<std::shared_ptr<KernelObject>()>& make,
                                                      bool* created) {
  return registry().findOrCreate(name, make, created);
}

}  // namespace kcm::kernel
