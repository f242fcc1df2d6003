// Helpers shared by the drag-and-drop suites.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "KestroDragDrop.h"

namespace dragdrop_test {

inline FORMATETC makeFormat(CLIPFORMAT format, DWORD tymed = TYMED_HGLOBAL, DWORD aspect = DVASPECT_CONTENT) {
  return FORMATETC{format, nullptr, aspect, -1, tymed};
}

inline HGLOBAL globalWith(const std::string& text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size());
  std::memcpy(GlobalLock(memory), text.data(), text.size());
  GlobalUnlock(memory);
  return memory;
}

inline std::string globalText(HGLOBAL memory) {
  const char* data = static_cast<const char*>(GlobalLock(memory));
  if (data == nullptr) return "<invalid handle>";
  std::string text(data, GlobalSize(memory));
  GlobalUnlock(memory);
  return text;
}

inline STGMEDIUM globalMedium(const std::string& text) {
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = globalWith(text);
  return medium;
}

// Global blocks and GDI objects alive now; compared at the end of a test to find leaks
// that the handle tables would hide from a leak checker.
struct LiveObjects {
  size_t blocks = KcmGlobalMemoryBlockCount();
  size_t gdiObjects = KcmGdiObjectCount();
  void expectUnchanged() const {
    EXPECT_EQ(KcmGlobalMemoryBlockCount(), blocks) << "global blocks leaked or freed twice";
    EXPECT_EQ(KcmGdiObjectCount(), gdiObjects) << "GDI objects leaked or deleted twice";
  }
};

// A bare COM object that only counts references: the release object of a medium, or a
// storage (no compound storage exists here).
class CountingUnknown : public IStorage {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  ULONG references = 1;
};

}  // namespace dragdrop_test
