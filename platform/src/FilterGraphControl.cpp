// Running, pausing and stopping the graph, and its reference clock.
//
// Filters change state downstream first (renderers before their sources), so no filter
// delivers to one that is not ready yet. A filter that refuses a change fails the call:
// the filters already changed go back to the graph's previous state, which the graph
// keeps. Stop is the exception: every filter is told to stop, the graph is stopped
// whatever they answer, and the first failure is returned.
#include <chrono>

#include "FilterGraph.h"
#include "FilterOrder.h"
#include "FilterPins.h"
#include "ReferenceClock.h"
#include "uuids.h"
#include "vfwmsgs.h"
#include "windows.h"

namespace kcm::dshow {

namespace {

// Time between Run and the stream's start, so that every filter is running before its
// first sample is due.
constexpr REFERENCE_TIME kStartLatency = 10 * 10000;

// Milliseconds left until `deadline`, INFINITE staying INFINITE.
DWORD MillisecondsLeft(DWORD timeout, std::chrono::steady_clock::time_point deadline) {
  if (timeout == INFINITE) return INFINITE;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

}  // namespace

std::vector<IBaseFilter*> FilterGraph::filtersInStateOrder() const {
  std::vector<IBaseFilter*> filters;
  for (const Member& member : members_) filters.push_back(member.filter);
  return orderDownstreamFirst(filters);
}

// Puts `filters[0..count)` back into the graph's current state.
void FilterGraph::restoreState(const std::vector<IBaseFilter*>& filters, size_t count) {
  for (size_t index = 0; index < count; ++index) {
    if (state_ == State_Stopped) filters[index]->Stop();
    if (state_ == State_Paused) filters[index]->Pause();
    if (state_ == State_Running) filters[index]->Run(streamStart_);
  }
}

HRESULT FilterGraph::pauseFilters() {
  const std::vector<IBaseFilter*> filters = filtersInStateOrder();
  HRESULT result = S_OK;
  for (size_t index = 0; index < filters.size(); ++index) {
    const HRESULT paused = filters[index]->Pause();
    if (FAILED(paused)) {
      restoreState(filters, index);
      return paused;
    }
    if (paused != S_OK) result = paused;
  }
  return result;
}

HRESULT FilterGraph::runFilters(REFERENCE_TIME start) {
  const std::vector<IBaseFilter*> filters = filtersInStateOrder();
  HRESULT result = S_OK;
  for (size_t index = 0; index < filters.size(); ++index) {
    const HRESULT running = filters[index]->Run(start);
    if (FAILED(running)) {
      restoreState(filters, index);
      return running;
    }
    if (running != S_OK) result = running;
  }
  return result;
}

HRESULT FilterGraph::stopFilters() {
  HRESULT result = S_OK;
  for (IBaseFilter* filter : filtersInStateOrder()) {
    const HRESULT stopped = filter->Stop();
    if (FAILED(stopped) && SUCCEEDED(result)) result = stopped;
  }
  return result;
}

// A renderer has a connected input pin and no output pin; the graph's EC_COMPLETE
// waits for each.
int FilterGraph::countRenderers() const {
  int renderers = 0;
  for (const Member& member : members_) {
    if (!pinsOf(member.filter, PINDIR_OUTPUT).empty()) continue;
    for (const ComPtr<IPin>& input : pinsOf(member.filter, PINDIR_INPUT)) {
      if (peerOf(input.get())) {
        ++renderers;
        break;
      }
    }
  }
  return renderers;
}

REFERENCE_TIME FilterGraph::clockTime() const {
  REFERENCE_TIME now = 0;
  if (clock_) clock_->GetTime(&now);
  return now;
}

HRESULT FilterGraph::pauseLocked() {
  if (state_ == State_Paused) return S_OK;
  const bool starting = state_ == State_Stopped;
  if (starting) {
    if (!clock_ && !clockChosenByApplication_) {
      const HRESULT clocked = chooseDefaultClock();
      if (FAILED(clocked)) return clocked;
    }
    events_.beginSession(countRenderers());
    pausedStreamTime_ = 0;
  }
  const HRESULT paused = pauseFilters();
  if (FAILED(paused)) {
    if (starting) events_.endSession();
    return paused;
  }
  if (state_ == State_Running) pausedStreamTime_ = clockTime() - streamStart_;
  state_ = State_Paused;
  return paused;
}

// `start` 0 means as soon as possible, continuing the stream time reached when paused.
HRESULT FilterGraph::runLocked(REFERENCE_TIME start) {
  if (state_ == State_Running) return S_OK;
  if (state_ == State_Stopped) {
    const HRESULT paused = pauseLocked();
    if (FAILED(paused)) return paused;
  }
  const REFERENCE_TIME previousStart = streamStart_;
  streamStart_ = start != 0 ? start : (clock_ ? clockTime() + kStartLatency - pausedStreamTime_ : 0);
  const HRESULT running = runFilters(streamStart_);
  if (FAILED(running)) {
    streamStart_ = previousStart;
    return running;
  }
  state_ = State_Running;
  return running;
}

STDMETHODIMP FilterGraph::Run() { return Run(REFERENCE_TIME{0}); }

STDMETHODIMP FilterGraph::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return runLocked(start);
}

STDMETHODIMP FilterGraph::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return pauseLocked();
}

STDMETHODIMP FilterGraph::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ == State_Stopped) return S_OK;
  const HRESULT stopped = stopFilters();
  state_ = State_Stopped;
  pausedStreamTime_ = 0;
  events_.endSession();
  return stopped;
}

// Asks each filter outside the graph lock, since a filter may wait for data to arrive
// before it reports its transition complete.
STDMETHODIMP FilterGraph::GetState(DWORD milliseconds, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  unsigned version = 0;
  const std::vector<ComPtr<IBaseFilter>> filters = snapshotFilters(&version);
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    *state = state_;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  HRESULT result = S_OK;
  for (const ComPtr<IBaseFilter>& filter : filters) {
    FILTER_STATE filterState;
    const HRESULT answered = filter->GetState(MillisecondsLeft(milliseconds, deadline), &filterState);
    if (FAILED(answered)) return answered;
    if (answered == VFW_S_STATE_INTERMEDIATE || (answered != S_OK && result == S_OK)) result = answered;
  }
  return result;
}

STDMETHODIMP FilterGraph::GetState(LONG milliseconds, OAFilterState* state) {
  if (state == nullptr) return E_POINTER;
  FILTER_STATE filterState = State_Stopped;
  const HRESULT result = GetState(static_cast<DWORD>(milliseconds), &filterState);
  *state = filterState;
  return result;
}

// Pauses, waits until every filter has completed the pause (cued its data), then stops.
STDMETHODIMP FilterGraph::StopWhenReady() {
  const HRESULT paused = Pause();
  if (FAILED(paused)) return paused;
  FILTER_STATE state;
  GetState(static_cast<DWORD>(INFINITE), &state);
  return Stop();
}

HRESULT FilterGraph::chooseDefaultClock() {
  IReferenceClock* clock = createSystemClock();
  if (clock == nullptr) return E_OUTOFMEMORY;
  clock_ = ComPtr<IReferenceClock>::adopt(clock);
  distributeClock();
  return S_OK;
}

void FilterGraph::distributeClock() {
  for (const Member& member : members_) member.filter->SetSyncSource(clock_.get());
}

// The graph's own clock, always: filters that offer a clock are not preferred.
STDMETHODIMP FilterGraph::SetDefaultSyncSource() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  clockChosenByApplication_ = false;
  return chooseDefaultClock();
}

// A null clock makes the graph run without one (filters deliver as fast as they can).
STDMETHODIMP FilterGraph::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  clock_ = ComPtr<IReferenceClock>(clock);
  clockChosenByApplication_ = true;
  distributeClock();
  return S_OK;
}

STDMETHODIMP FilterGraph::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *clock = ComPtr<IReferenceClock>(clock_).detach();
  return S_OK;
}

STDMETHODIMP FilterGraph::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_FilterGraph;
  return S_OK;
}

STDMETHODIMP FilterGraph::RenderFile(BSTR) { return notImplemented("IMediaControl::RenderFile"); }

STDMETHODIMP FilterGraph::AddSourceFilter(BSTR, IDispatch** filterInfo) {
  if (filterInfo != nullptr) *filterInfo = nullptr;
  return notImplemented("IMediaControl::AddSourceFilter");
}

STDMETHODIMP FilterGraph::get_FilterCollection(IDispatch** collection) {
  if (collection != nullptr) *collection = nullptr;
  return notImplemented("IMediaControl::get_FilterCollection");
}

STDMETHODIMP FilterGraph::get_RegFilterCollection(IDispatch** collection) {
  if (collection != nullptr) *collection = nullptr;
  return notImplemented("IMediaControl::get_RegFilterCollection");
}

}  // namespace kcm::dshow
