// Copies of storage media.
#include "MediumCopy.h"

#include <cwchar>
#include <cstring>

namespace kcm::dragdrop {
namespace {

// In task memory, as ReleaseStgMedium frees file names.
LPOLESTR duplicateFileName(LPCOLESTR name) {
  if (name == nullptr) return nullptr;
  const size_t bytes = (std::wcslen(name) + 1) * sizeof(OLECHAR);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, name, bytes);
  return copy;
}

}  // namespace

void copyMedium(STGMEDIUM* destination, const STGMEDIUM* source, const FORMATETC* format) {
  switch (source->tymed) {
    case TYMED_HGLOBAL:
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
      destination->hGlobal = OleDuplicateData(source->hGlobal, format->cfFormat, 0);
      break;
    case TYMED_FILE:
      destination->lpszFileName = duplicateFileName(source->lpszFileName);
      break;
    case TYMED_ISTREAM:
      destination->pstm = source->pstm;
      if (destination->pstm != nullptr) destination->pstm->AddRef();
      break;
    case TYMED_ISTORAGE:
      destination->pstg = source->pstg;
      if (destination->pstg != nullptr) destination->pstg->AddRef();
      break;
    default:
      break;
  }
  destination->tymed = source->tymed;
  destination->pUnkForRelease = source->pUnkForRelease;
  if (destination->pUnkForRelease != nullptr) destination->pUnkForRelease->AddRef();
}

}  // namespace kcm::dragdrop
