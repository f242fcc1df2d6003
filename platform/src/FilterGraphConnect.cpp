// Connecting pins: directly, or through one registered transform filter.
#include "FilterGraph.h"
#include "FilterPins.h"
#include "TransformFilterRegistry.h"
#include "vfwmsgs.h"

namespace kcm::dshow {

namespace {

bool HasDirection(IPin* pin, PIN_DIRECTION wanted) {
  PIN_DIRECTION direction;
  return directionOf(pin, &direction) && direction == wanted;
}

}  // namespace

// Both pins belong to filters of this graph and point the right way.
HRESULT FilterGraph::checkConnectable(IPin* output, IPin* input) {
  if (output == nullptr || input == nullptr) return E_POINTER;
  ComPtr<IBaseFilter> outputOwner = ownerOf(output);
  ComPtr<IBaseFilter> inputOwner = ownerOf(input);
  if (!contains(outputOwner.get()) || !contains(inputOwner.get())) return VFW_E_NOT_IN_GRAPH;
  if (!HasDirection(output, PINDIR_OUTPUT) || !HasDirection(input, PINDIR_INPUT)) return VFW_E_INVALID_DIRECTION;
  return S_OK;
}

STDMETHODIMP FilterGraph::ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* mediaType) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const HRESULT connectable = checkConnectable(output, input);
  if (FAILED(connectable)) return connectable;
  return output->Connect(input, mediaType);
}

STDMETHODIMP FilterGraph::Connect(IPin* output, IPin* input) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const HRESULT connectable = checkConnectable(output, input);
  if (FAILED(connectable)) return connectable;
  const HRESULT direct = output->Connect(input, nullptr);
  if (SUCCEEDED(direct) || direct == VFW_E_ALREADY_CONNECTED || direct == VFW_E_NOT_STOPPED) return direct;
  return connectThroughIntermediate(output, input);
}

HRESULT FilterGraph::connectThroughIntermediate(IPin* output, IPin* input) {
  for (const CLSID& clsid : transformFiltersByMerit()) {
    if (SUCCEEDED(tryIntermediate(clsid, output, input))) return S_OK;
  }
  return VFW_E_CANNOT_CONNECT;
}

// Adds one instance of `clsid`, connects `output` to one of its inputs and one of its
// outputs to `input`; on failure the instance leaves the graph again.
HRESULT FilterGraph::tryIntermediate(REFCLSID clsid, IPin* output, IPin* input) {
  ComPtr<IBaseFilter> intermediate;
  HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, intermediate.receiveVoid());
  if (FAILED(result)) return result;
  result = AddFilter(intermediate.get(), nullptr);
  if (FAILED(result)) return result;
  for (const ComPtr<IPin>& intermediateInput : pinsOf(intermediate.get(), PINDIR_INPUT)) {
    if (FAILED(output->Connect(intermediateInput.get(), nullptr))) continue;
    for (const ComPtr<IPin>& intermediateOutput : pinsOf(intermediate.get(), PINDIR_OUTPUT)) {
      if (SUCCEEDED(intermediateOutput->Connect(input, nullptr))) return S_OK;
    }
    break;
  }
  RemoveFilter(intermediate.get());
  return VFW_E_CANNOT_CONNECT;
}

STDMETHODIMP FilterGraph::Disconnect(IPin* pin) {
  if (pin == nullptr) return E_POINTER;
  return pin->Disconnect();
}

// Done at once, on the caller's thread: both ends are disconnected and connected again
// without a media type, so they negotiate afresh.
STDMETHODIMP FilterGraph::Reconnect(IPin* pin) {
  if (pin == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  ComPtr<IPin> peer = peerOf(pin);
  if (!peer) return VFW_E_NOT_CONNECTED;
  const bool pinIsOutput = HasDirection(pin, PINDIR_OUTPUT);
  IPin* output = pinIsOutput ? pin : peer.get();
  IPin* input = pinIsOutput ? peer.get() : pin;
  output->Disconnect();
  input->Disconnect();
  return ConnectDirect(output, input, nullptr);
}

STDMETHODIMP FilterGraph::Render(IPin*) { return notImplemented("IGraphBuilder::Render"); }
STDMETHODIMP FilterGraph::RenderFile(LPCWSTR, LPCWSTR) { return notImplemented("IGraphBuilder::RenderFile"); }
STDMETHODIMP FilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter** filter) {
  if (filter != nullptr) *filter = nullptr;
  return notImplemented("IGraphBuilder::AddSourceFilter");
}
STDMETHODIMP FilterGraph::SetLogFile(DWORD_PTR) { return notImplemented("IGraphBuilder::SetLogFile"); }
STDMETHODIMP FilterGraph::Abort() { return notImplemented("IGraphBuilder::Abort"); }
STDMETHODIMP FilterGraph::ShouldOperationContinue() {
  return notImplemented("IGraphBuilder::ShouldOperationContinue");
}

}  // namespace kcm::dshow
