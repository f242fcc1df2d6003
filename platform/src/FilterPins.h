// Walking a filter's pins and connections, as the graph manager needs it.
#pragma once

#include <vector>

#include "ComPtr.h"
#include "strmif.h"

namespace kcm::dshow {

using kcm::com::ComPtr;

// Every pin of `filter`, in the filter's order; empty when it cannot enumerate them.
std::vector<ComPtr<IPin>> pinsOf(IBaseFilter* filter);
// The pins of `filter` with the given direction.
std::vector<ComPtr<IPin>> pinsOf(IBaseFilter* filter, PIN_DIRECTION direction);
// The pin's direction; false when the pin does not answer.
bool directionOf(IPin* pin, PIN_DIRECTION* direction);
// The filter that owns `pin`, or null.
ComPtr<IBaseFilter> ownerOf(IPin* pin);
// The pin `pin` is connected to, or null.
ComPtr<IPin> peerOf(IPin* pin);
// The filters directly downstream of `filter` (through its connected output pins).
std::vector<ComPtr<IBaseFilter>> downstreamOf(IBaseFilter* filter);
// Breaks every connection of `filter`, on both ends.
void disconnectAll(IBaseFilter* filter);

}  // namespace kcm::dshow
