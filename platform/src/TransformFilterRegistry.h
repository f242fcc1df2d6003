// Reading the transform filters registered through KestroFilterRegistry.h.
#pragma once

#include <vector>

#include "guiddef.h"

namespace kcm::dshow {

// The registered classes, highest merit first.
std::vector<CLSID> transformFiltersByMerit();

}  // namespace kcm::dshow
