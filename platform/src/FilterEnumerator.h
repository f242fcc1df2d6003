// IEnumFilters over a graph's filters.
#pragma once

#include "strmif.h"

namespace kcm::dshow {

class FilterGraph;

// An enumerator holding a reference to `graph`, or null when out of memory. It walks the
// filter set as it was when it was created (or last Reset); once the graph's set has
// changed, Next and Skip answer VFW_E_ENUM_OUT_OF_SYNC until Reset.
IEnumFilters* createFilterEnumerator(FilterGraph* graph);

}  // namespace kcm::dshow
