// The capture graph builder (CLSID_CaptureGraphBuilder2): holds a graph and finds
// interfaces around a filter. Building capture chains is left to the caller.
#include <new>
#include <set>
#include <vector>

#include "ComObject.h"
#include "FilterPins.h"
#include "capturegraph.h"
#include "uuids.h"

namespace {

using kcm::com::ComPtr;
using kcm::dshow::ownerOf;
using kcm::dshow::peerOf;
using kcm::dshow::pinsOf;

// The filters on the far side of `filter`'s connected pins of `direction`.
std::vector<ComPtr<IBaseFilter>> neighboursOf(IBaseFilter* filter, PIN_DIRECTION direction) {
  std::vector<ComPtr<IBaseFilter>> neighbours;
  for (const ComPtr<IPin>& pin : pinsOf(filter, direction)) {
    ComPtr<IPin> peer = peerOf(pin.get());
    if (!peer) continue;
    ComPtr<IBaseFilter> owner = ownerOf(peer.get());
    if (owner) neighbours.push_back(owner);
  }
  return neighbours;
}

HRESULT queryFilterOrPins(IBaseFilter* filter, REFIID iid, void** out) {
  if (SUCCEEDED(filter->QueryInterface(iid, out))) return S_OK;
  for (const ComPtr<IPin>& pin : pinsOf(filter)) {
    if (SUCCEEDED(pin->QueryInterface(iid, out))) return S_OK;
  }
  return E_NOINTERFACE;
}

// Breadth-first from `start` in `direction`, each filter once.
HRESULT searchAlong(IBaseFilter* start, PIN_DIRECTION direction, REFIID iid, void** out) {
  std::set<IBaseFilter*> seen{start};
  std::vector<ComPtr<IBaseFilter>> pending = neighboursOf(start, direction);
  while (!pending.empty()) {
    ComPtr<IBaseFilter> filter = pending.front();
    pending.erase(pending.begin());
    if (!seen.insert(filter.get()).second) continue;
    if (SUCCEEDED(queryFilterOrPins(filter.get(), iid, out))) return S_OK;
    for (ComPtr<IBaseFilter>& next : neighboursOf(filter.get(), direction)) pending.push_back(std::move(next));
  }
  return E_NOINTERFACE;
}

class CaptureGraphBuilder final : public kcm::com::RefCounted<ICaptureGraphBuilder2> {
 public:
  static HRESULT create(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* builder = new (std::nothrow) CaptureGraphBuilder;
    if (builder == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = builder->QueryInterface(iid, object);
    builder->Release();
    return result;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_ICaptureGraphBuilder2) return E_NOINTERFACE;
    return kcm::com::handOut(static_cast<ICaptureGraphBuilder2*>(this), object);
  }

  STDMETHODIMP SetFiltergraph(IGraphBuilder* graph) override {
    if (graph == nullptr) return E_POINTER;
    if (graph_) return E_UNEXPECTED;  // one graph per builder
    graph_ = ComPtr<IGraphBuilder>(graph);
    return S_OK;
  }
  STDMETHODIMP GetFiltergraph(IGraphBuilder** graph) override {
    if (graph == nullptr) return E_POINTER;
    *graph = graph_.get();
    if (*graph == nullptr) return E_UNEXPECTED;
    (*graph)->AddRef();
    return S_OK;
  }
  STDMETHODIMP FindInterface(const GUID* category, const GUID*, IBaseFilter* filter, REFIID iid,
                             void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (filter == nullptr) return E_POINTER;
    if (!graph_) return E_UNEXPECTED;
    if (SUCCEEDED(queryFilterOrPins(filter, iid, out))) return S_OK;
    const bool upstreamOnly = category != nullptr && *category == LOOK_UPSTREAM_ONLY;
    const bool downstreamOnly = category != nullptr && *category == LOOK_DOWNSTREAM_ONLY;
    if (!upstreamOnly && SUCCEEDED(searchAlong(filter, PINDIR_OUTPUT, iid, out))) return S_OK;
    if (downstreamOnly) return E_NOINTERFACE;
    return searchAlong(filter, PINDIR_INPUT, iid, out);
  }

  STDMETHODIMP SetOutputFileName(const GUID*, LPCOLESTR, IBaseFilter**, IFileSinkFilter**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP RenderStream(const GUID*, const GUID*, IUnknown*, IBaseFilter*, IBaseFilter*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP ControlStream(const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*, WORD,
                             WORD) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AllocCapFile(LPCOLESTR, ULONGLONG) override { return E_NOTIMPL; }
  STDMETHODIMP CopyCaptureFile(LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*) override { return E_NOTIMPL; }
  STDMETHODIMP FindPin(IUnknown*, PIN_DIRECTION, const GUID*, const GUID*, BOOL, int, IPin**) override {
    return E_NOTIMPL;
  }

 private:
  ComPtr<IGraphBuilder> graph_;
};

const KcmCoClassRegistration kCaptureGraphBuilderClass(CLSID_CaptureGraphBuilder2, &CaptureGraphBuilder::create);

}  // namespace
