// The medium copy that data objects hand out and keep.
#pragma once

#include "KestroDataTransfer.h"

namespace kcm::dragdrop {

// Fills `destination` with a copy of `source` as `format` describes its data: global
// blocks, bitmaps and metafiles are duplicated, a file name is copied, stream and storage
// pointers are shared with one more reference, and any other tymed copies no data. The
// destination takes the source's tymed and shares its pUnkForRelease (AddRef'd).
void copyMedium(STGMEDIUM* destination, const STGMEDIUM* source, const FORMATETC* format);

}  // namespace kcm::dragdrop
