// Object names shared within the process (CreateEvent, CreateSemaphore).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "HandleTable.h"

namespace kcm::kernel {

// Names are compared as UTF-8; the wide functions' UTF-32 names are converted.
std::string objectNameFromWide(LPCWSTR name);
std::string objectNameFromNarrow(LPCSTR name);

// Answers the live object called `name`, or the one `make` creates and registers under
// it; `created` tells which. The registry holds names weakly: a name is free again once
// its object is gone.
std::shared_ptr<KernelObject> findOrCreateNamedObject(const std::string& name,
                                                      const std::function<std::shared_ptr<KernelObject>()>& make,
                                                      bool* created);

// The Create… functions' common path. An empty name always makes a new object. An
// existing name of the same kind answers a new handle to that object with the last
// error ERROR_ALREADY_EXISTS (a new object leaves ERROR_SUCCESS); a name held by
// another kind of object fails with ERROR_INVALID_HANDLE, as on Windows.
template <class T, class Make>
HANDLE createNamedObject(const std::string& name, Make make) {
  if (name.empty()) {
    SetLastError(ERROR_SUCCESS);
    return openHandle(make());
  }
  bool created = false;
  std::shared_ptr<T> object =
      std::dynamic_pointer_cast<T>(findOrCreateNamedObject(name, [&] { return make(); }, &created));
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return openHandle(std::move(object));
}

}  // namespace kcm::kernel
