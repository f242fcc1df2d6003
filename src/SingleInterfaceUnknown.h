// The IUnknown operations of the drag-and-drop objects, each of which answers one
// interface besides IUnknown and counts its references from 0.
#pragma once

#include <atomic>

#include "unknwn.h"

template <class Interface>
HRESULT QuerySingleInterface(Interface* self, REFIID own, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid != IID_IUnknown && iid != own) return E_NOINTERFACE;
  *object = self;
  self->AddRef();
  return S_OK;
}

// Deletes the object with its last reference.
template <class Object>
ULONG ReleaseReference(Object* self, std::atomic<ULONG>& count) {
  const ULONG left = --count;
  if (left == 0) delete self;
  return left;
}
