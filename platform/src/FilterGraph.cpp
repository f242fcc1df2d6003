// The graph manager's identity, registration and filter membership.
#include "FilterGraph.h"

#include <stdio.h>

#include <new>
#include <string>

#include "FilterEnumerator.h"
#include "FilterPins.h"
#include "KestroPlatformDiagnostic.h"
#include "uuids.h"
#include "vfwmsgs.h"

namespace kcm::dshow {

namespace {

// The graph registers itself when libKestroPlatform loads.
const KcmCoClassRegistration kFilterGraphClass(CLSID_FilterGraph, &FilterGraph::create);
const KcmCoClassRegistration kFilterGraphNoThreadClass(CLSID_FilterGraphNoThread, &FilterGraph::create);

// Name given to a filter added without one.
constexpr const wchar_t* kUnnamedFilter = L"Filter";
// A taken name gets " 0001", " 0002", … appended, as DirectShow does.
constexpr int kMaxNameSuffix = 9999;
constexpr size_t kSuffixLength = 5;

}  // namespace

HRESULT notImplemented(const char* what) {
  const std::string text = std::string(what) + " is not implemented";
  KcmPlatformDiagnostic(text.c_str());
  return E_NOTIMPL;
}

HRESULT FilterGraph::create(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  auto* graph = new (std::nothrow) FilterGraph;
  if (graph == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = graph->QueryInterface(iid, object);
  graph->Release();
  return result;
}

// Releasing the graph stops it and removes every filter, which breaks the connections
// (pins hold references to each other) and tells each filter it left the graph.
FilterGraph::~FilterGraph() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ != State_Stopped) stopFilters();
  while (!members_.empty()) removeMember(members_.size() - 1);
}

STDMETHODIMP FilterGraph::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  using kcm::com::handOut;
  if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder) {
    return handOut(static_cast<IGraphBuilder*>(this), object);
  }
  if (iid == IID_IMediaControl || iid == IID_IDispatch) return handOut(static_cast<IMediaControl*>(this), object);
  if (iid == IID_IMediaEvent || iid == IID_IMediaEventEx) return handOut(static_cast<IMediaEventEx*>(this), object);
  if (iid == IID_IMediaEventSink) return handOut(static_cast<IMediaEventSink*>(this), object);
  if (iid == IID_IMediaSeeking) return handOut(static_cast<IMediaSeeking*>(this), object);
  if (iid == IID_IMediaFilter || iid == IID_IPersist) return handOut(static_cast<IMediaFilter*>(this), object);
  return E_NOINTERFACE;
}

std::vector<ComPtr<IBaseFilter>> FilterGraph::snapshotFilters(unsigned* version) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  std::vector<ComPtr<IBaseFilter>> filters;
  // Most recently added first, as DirectShow enumerates them.
  for (auto member = members_.rbegin(); member != members_.rend(); ++member) filters.emplace_back(member->filter);
  *version = version_;
  return filters;
}

unsigned FilterGraph::filterSetVersion() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return version_;
}

bool FilterGraph::contains(IBaseFilter* filter) const {
  for (const Member& member : members_) {
    if (member.filter == filter) return true;
  }
  return false;
}

bool FilterGraph::nameTaken(const std::wstring& name) const {
  for (const Member& member : members_) {
    if (member.name == name) return true;
  }
  return false;
}

// The requested name, cut to fit FILTER_INFO, or the first free suffixed form of it.
HRESULT FilterGraph::uniqueName(LPCWSTR requested, std::wstring* name) const {
  std::wstring base = requested != nullptr && requested[0] != 0 ? requested : kUnnamedFilter;
  if (base.size() > MAX_FILTER_NAME - 1) base.resize(MAX_FILTER_NAME - 1);
  if (!nameTaken(base)) {
    *name = base;
    return S_OK;
  }
  if (base.size() > MAX_FILTER_NAME - 1 - kSuffixLength) base.resize(MAX_FILTER_NAME - 1 - kSuffixLength);
  for (int suffix = 1; suffix <= kMaxNameSuffix; ++suffix) {
    wchar_t digits[8];
    swprintf(digits, sizeof digits / sizeof digits[0], L" %04d", suffix);
    std::wstring candidate = base + digits;
    if (!nameTaken(candidate)) {
      *name = candidate;
      return VFW_S_DUPLICATE_NAME;
    }
  }
  return VFW_E_DUPLICATE_NAME;
}

void FilterGraph::removeMember(size_t index) {
  IBaseFilter* filter = members_[index].filter;
  if (state_ != State_Stopped) filter->Stop();
  disconnectAll(filter);
  filter->SetSyncSource(nullptr);
  filter->JoinFilterGraph(nullptr, nullptr);
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(index));
  ++version_;
  filter->Release();
}

// A filter joins with the name it will be known by; a taken name answers
// VFW_S_DUPLICATE_NAME with the suffixed name in use. The graph keeps one reference.
STDMETHODIMP FilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR name) {
  if (filter == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (contains(filter)) return E_INVALIDARG;
  std::wstring uniqueFilterName;
  const HRESULT named = uniqueName(name, &uniqueFilterName);
  if (FAILED(named)) return named;
  const HRESULT joined = filter->JoinFilterGraph(static_cast<IGraphBuilder*>(this), uniqueFilterName.c_str());
  if (FAILED(joined)) return joined;
  filter->AddRef();
  members_.push_back(Member{filter, uniqueFilterName});
  ++version_;
  if (clock_) filter->SetSyncSource(clock_.get());
  return named;
}

STDMETHODIMP FilterGraph::RemoveFilter(IBaseFilter* filter) {
  if (filter == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  for (size_t index = 0; index < members_.size(); ++index) {
    if (members_[index].filter == filter) {
      removeMember(index);
      return S_OK;
    }
  }
  return VFW_E_NOT_IN_GRAPH;
}

STDMETHODIMP FilterGraph::EnumFilters(IEnumFilters** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = createFilterEnumerator(this);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP FilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter) {
  if (name == nullptr || filter == nullptr) return E_POINTER;
  *filter = nullptr;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  for (const Member& member : members_) {
    if (member.name == name) {
      member.filter->AddRef();
      *filter = member.filter;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

}  // namespace kcm::dshow
