// Test doubles for the filter graph suites: a filter with configurable pins that records
// the state changes it is asked for, in the order they arrive. Written directly against
// IBaseFilter/IPin so the graph manager is tested on its own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <wchar.h>

#include "dshow.h"

namespace test_filters {

// State changes of several filters in one order: "<filter>:<Pause|Run|Stop>".
class Journal {
 public:
  void add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(entries_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

class RecordingFilter;

// A pin that produces (output) or accepts (input) exactly one subtype. Its references
// are its filter's, as with the DirectShow base classes.
class TestPin final : public IPin {
 public:
  TestPin(RecordingFilter* owner, PIN_DIRECTION direction, const wchar_t* name, const GUID& subtype)
      : owner_(owner), direction_(direction), name_(name), subtype_(subtype) {}
  ~TestPin() { Disconnect(); }

  IPin* peer() const { return peer_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP Disconnect() override {
    if (peer_ == nullptr) return S_FALSE;
    std::exchange(peer_, nullptr)->Release();
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    *pin = peer_;
    if (peer_ == nullptr) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    *direction = direction_;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mediaType) override {
    return mediaType->subtype == subtype_ ? S_OK : S_FALSE;
  }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

 private:
  RecordingFilter* const owner_;
  const PIN_DIRECTION direction_;
  const std::wstring name_;
  const GUID subtype_;
  IPin* peer_ = nullptr;  // one reference while connected
};

class RecordingFilter final : public IBaseFilter {
 public:
  // Filters alive in the process, for leak checks.
  static std::atomic<int>& live() {
    static std::atomic<int> count{0};
    return count;
  }

  RecordingFilter(const char* name, Journal* journal) : name_(name), journal_(journal) { ++live(); }
  ~RecordingFilter() {
    pins_.clear();
    setClock(nullptr);
    --live();
  }

  RecordingFilter* addInput(const GUID& subtype) { return addPin(PINDIR_INPUT, L"In", subtype); }
  RecordingFilter* addOutput(const GUID& subtype) { return addPin(PINDIR_OUTPUT, L"Out", subtype); }
  // The named transition ("Pause", "Run" or "Stop") answers `result` without changing state.
  void refuse(const std::string& transition, HRESULT result = E_FAIL) {
    refused_ = transition;
    refusal_ = result;
  }

  TestPin* pin(size_t index) const { return pins_[index].get(); }
  FILTER_STATE state() const { return state_; }
  IReferenceClock* clock() const { return clock_; }
  REFERENCE_TIME runStart() const { return runStart_; }
  IFilterGraph* graph() const { return graph_; }
  std::wstring joinedName() const { return joinedName_; }

  // Reports EC_COMPLETE to the graph, as a renderer does at the end of its stream.
  void reportComplete(HRESULT status = S_OK) {
    IMediaEventSink* sink = nullptr;
    if (graph_ == nullptr || FAILED(graph_->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
      return;
    }
    sink->Notify(EC_COMPLETE, status, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    sink->Release();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPersist && iid != IID_IMediaFilter && iid != IID_IBaseFilter) {
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IBaseFilter*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = GUID_NULL;
    return S_OK;
  }
  STDMETHODIMP Stop() override { return change("Stop", State_Stopped); }
  STDMETHODIMP Pause() override { return change("Pause", State_Paused); }
  STDMETHODIMP Run(REFERENCE_TIME start) override {
    const HRESULT result = change("Run", State_Running);
    if (SUCCEEDED(result)) runStart_ = start;
    return result;
  }
  STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
    *state = state_;
    return S_OK;
  }
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override {
    setClock(clock);
    return S_OK;
  }
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
    *clock = clock_;
    if (clock_ != nullptr) clock_->AddRef();
    return S_OK;
  }

  STDMETHODIMP EnumPins(IEnumPins** enumerator) override;
  STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    graph_ = graph;  // no reference, as the graph holds this filter
    joinedName_ = name != nullptr ? name : L"";
    return S_OK;
  }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  size_t pinCount() const { return pins_.size(); }

 private:
  RecordingFilter* addPin(PIN_DIRECTION direction, const wchar_t* name, const GUID& subtype) {
    pins_.push_back(std::make_unique<TestPin>(this, direction, name, subtype));
    return this;
  }
  HRESULT change(const std::string& transition, FILTER_STATE next) {
    if (journal_ != nullptr) journal_->add(name_ + ":" + transition);
    if (transition == refused_) return refusal_;
    state_ = next;
    return S_OK;
  }
  void setClock(IReferenceClock* clock) {
    if (clock != nullptr) clock->AddRef();
    if (clock_ != nullptr) clock_->Release();
    clock_ = clock;
  }

  const std::string name_;
  Journal* const journal_;
  std::atomic<ULONG> references_{1};
  std::vector<std::unique_ptr<TestPin>> pins_;
  std::string refused_;
  HRESULT refusal_ = S_OK;
  FILTER_STATE state_ = State_Stopped;
  IReferenceClock* clock_ = nullptr;
  REFERENCE_TIME runStart_ = -1;
  IFilterGraph* graph_ = nullptr;
  std::wstring joinedName_;
};

// Enumerates a RecordingFilter's pins; holds a reference to the filter.
class TestPinEnumerator final : public IEnumPins {
 public:
  TestPinEnumerator(RecordingFilter* filter, size_t position) : filter_(filter), position_(position) {
    filter_->AddRef();
  }
  ~TestPinEnumerator() { filter_->Release(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IEnumPins) return E_NOINTERFACE;
    AddRef();
    *object = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
    ULONG handed = 0;
    for (; handed < count && position_ < filter_->pinCount(); ++handed, ++position_) {
      pins[handed] = filter_->pin(position_);
      pins[handed]->AddRef();
    }
    if (fetched != nullptr) *fetched = handed;
    return handed == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    position_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins** enumerator) override {
    *enumerator = new TestPinEnumerator(filter_, position_);
    return S_OK;
  }

 private:
  RecordingFilter* const filter_;
  size_t position_;
  std::atomic<ULONG> references_{1};
};

inline STDMETHODIMP RecordingFilter::EnumPins(IEnumPins** enumerator) {
  *enumerator = new TestPinEnumerator(this, 0);
  return S_OK;
}

inline STDMETHODIMP TestPin::QueryInterface(REFIID iid, void** object) {
  *object = nullptr;
  if (iid != IID_IUnknown && iid != IID_IPin) return E_NOINTERFACE;
  AddRef();
  *object = static_cast<IPin*>(this);
  return S_OK;
}
inline STDMETHODIMP_(ULONG) TestPin::AddRef() { return owner_->AddRef(); }
inline STDMETHODIMP_(ULONG) TestPin::Release() { return owner_->Release(); }

inline STDMETHODIMP TestPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) {
  if (peer_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (direction_ != PINDIR_OUTPUT) return E_UNEXPECTED;
  if (owner_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (mediaType != nullptr && mediaType->subtype != subtype_) return VFW_E_TYPE_NOT_ACCEPTED;
  AM_MEDIA_TYPE offered{};
  offered.majortype = MEDIATYPE_Video;
  offered.subtype = subtype_;
  const HRESULT received = receivePin->ReceiveConnection(this, &offered);
  if (FAILED(received)) return received;
  receivePin->AddRef();
  peer_ = receivePin;
  return S_OK;
}

inline STDMETHODIMP TestPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) {
  if (peer_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
  if (mediaType->subtype != subtype_) return VFW_E_TYPE_NOT_ACCEPTED;
  connector->AddRef();
  peer_ = connector;
  return S_OK;
}

inline STDMETHODIMP TestPin::QueryPinInfo(PIN_INFO* info) {
  info->pFilter = owner_;
  owner_->AddRef();
  info->dir = direction_;
  wcsncpy(info->achName, name_.c_str(), MAX_PIN_NAME - 1);
  info->achName[MAX_PIN_NAME - 1] = 0;
  return S_OK;
}

}  // namespace test_filters
