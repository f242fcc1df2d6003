#include "FilterPins.h"

namespace kcm::dshow {

std::vector<ComPtr<IPin>> pinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> enumerator;
  if (FAILED(filter->EnumPins(enumerator.receive())) || !enumerator) return pins;
  IPin* pin = nullptr;
  ULONG fetched = 0;
  while (enumerator->Next(1, &pin, &fetched) == S_OK && fetched == 1 && pin != nullptr) {
    pins.push_back(ComPtr<IPin>::adopt(pin));
    pin = nullptr;
  }
  return pins;
}

std::vector<ComPtr<IPin>> pinsOf(IBaseFilter* filter, PIN_DIRECTION direction) {
  std::vector<ComPtr<IPin>> matching;
  for (ComPtr<IPin>& pin : pinsOf(filter)) {
    PIN_DIRECTION pinDirection;
    if (directionOf(pin.get(), &pinDirection) && pinDirection == direction) matching.push_back(std::move(pin));
  }
  return matching;
}

bool directionOf(IPin* pin, PIN_DIRECTION* direction) { return SUCCEEDED(pin->QueryDirection(direction)); }

ComPtr<IBaseFilter> ownerOf(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  return ComPtr<IBaseFilter>::adopt(info.pFilter);
}

ComPtr<IPin> peerOf(IPin* pin) {
  ComPtr<IPin> peer;
  if (FAILED(pin->ConnectedTo(peer.receive()))) peer.reset();
  return peer;
}

std::vector<ComPtr<IBaseFilter>> downstreamOf(IBaseFilter* filter) {
  std::vector<ComPtr<IBaseFilter>> downstream;
  for (const ComPtr<IPin>& output : pinsOf(filter, PINDIR_OUTPUT)) {
    ComPtr<IPin> peer = peerOf(output.get());
    if (!peer) continue;
    ComPtr<IBaseFilter> owner = ownerOf(peer.get());
    if (owner) downstream.push_back(std::move(owner));
  }
  return downstream;
}

void disconnectAll(IBaseFilter* filter) {
  for (const ComPtr<IPin>& pin : pinsOf(filter)) {
    ComPtr<IPin> peer = peerOf(pin.get());
    if (!peer) continue;
    peer->Disconnect();
    pin->Disconnect();
  }
}

}  // namespace kcm::dshow
