// The order in which the graph changes filter states.
#pragma once

#include <vector>

#include "strmif.h"

namespace kcm::dshow {

// `filters` reordered so that each filter comes after every filter downstream of it:
// renderers first, sources last. Filters that are not connected keep their relative
// order; a connection cycle cannot make the walk loop.
std::vector<IBaseFilter*> orderDownstreamFirst(const std::vector<IBaseFilter*>& filters);

}  // namespace kcm::dshow
