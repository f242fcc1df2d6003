// IUnknownEx: the root of the library's interface family.
//
// Objects of this family have exactly one owner and no reference count: the host
// obtains one from a factory export and gives it back with Ex_Release.
#pragma once

#include "KestroInterfaceIds.h"
#include "guiddef.h"

// Every interface of the library has this version, and the library asks with it.
#define KCM_INTERFACE_VERSION 0x01010100UL

class IUnknownEx {
 public:
  virtual bool Ex_IsValid() = 0;
  // Destroys the object when it is valid; the pointer must not be touched afterwards.
  virtual bool Ex_Release() = 0;
  // The object's interface for `iid`, or null for an unknown identifier or a refused version.
  virtual void* Ex_QueryInterface(const GUID& iid, unsigned long version) = 0;

 protected:
  // Objects die through Ex_Release, not through a pointer to this root.
  ~IUnknownEx() = default;
};

// A version is a 32-bit number read as four bytes: the two highest must be 1, the third
// at most 1, and the lowest is not examined (0x01010000 to 0x010101FF are accepted).
// `unsigned long` is 64-bit here; only its low 32 bits carry the version.
inline bool IsUnknownExVersionAccepted(unsigned long version) {
  const uint32_t value = static_cast<uint32_t>(version);
  return (value >> 24) == 1 && ((value >> 16) & 0xFF) == 1 && ((value >> 8) & 0xFF) <= 1;
}

// The query rule of every implementation: the own identifier first, then IUnknownEx,
// both only with an accepted version. `self` is the object's part of type Interface,
// which need not be its first base.
template <class Interface>
void* QueryUnknownEx(Interface* self, const GUID& ownIid, const GUID& iid, unsigned long version) {
  if (!IsUnknownExVersionAccepted(version)) return nullptr;
  if (iid == ownIid || iid == IID_IUnknownEx) return static_cast<void*>(self);
  return nullptr;
}

// The signature of the Create… factory exports.
typedef void* (*UnknownExFactory)(const GUID& iid, unsigned long version);
