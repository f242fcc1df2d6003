// Field and parameter names as BSTRs made once per thread: a host names the same few
// fields for every row it reads and the same parameters for every execution.
#pragma once

#include "oleauto.h"

namespace Kestro {
namespace database {

// A BSTR equal to `name` (null is taken as ""). The cache keeps it: the caller does not
// free it, and uses it before this thread asks for many other names.
BSTR CachedName(const wchar_t* name);

// A VARIANT naming an item by `name`; it does not own the text and is not cleared.
inline VARIANT NameIndex(const wchar_t* name) {
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_BSTR;
  index.bstrVal = CachedName(name);
  return index;
}

}  // namespace database
}  // namespace Kestro
