// Walking a filter's pins, for the device functions of the graph base.
#pragma once

#include "strmif.h"

// Calls `visit(pin)` for each pin of `filter` with `direction` until it answers true;
// answers whether one did. Each pin is released after its visit.
template <class Visit>
bool visitPins(IBaseFilter* filter, PIN_DIRECTION direction, Visit visit) {
  IEnumPins* pins = nullptr;
  if (filter == nullptr || FAILED(filter->EnumPins(&pins)) || pins == nullptr) return false;
  bool stopped = false;
  IPin* pin = nullptr;
  while (!stopped && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) stopped = visit(pin);
    pin->Release();
  }
  pins->Release();
  return stopped;
}
