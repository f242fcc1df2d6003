// The filter graph manager (CLSID_FilterGraph) for in-process filters.
//
// One recursive graph lock guards the filter list, the state and the clock; filters are
// called with it held, as DirectShow's graph manager does, except where a call may wait
// for a filter (GetState) or for events. The event queue has its own lock, so a
// streaming thread's IMediaEventSink::Notify never waits for the graph lock.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ComObject.h"
#include "ComPtr.h"
#include "MediaEventQueue.h"
#include "control.h"
#include "strmif.h"

namespace kcm::dshow {

using kcm::com::ComPtr;

class FilterGraph final
    : public kcm::com::RefCounted<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaEventSink, IMediaSeeking,
                                  IMediaFilter> {
 public:
  // The factory behind CLSID_FilterGraph: no aggregation.
  static HRESULT create(IUnknown* outer, REFIID iid, void** object);

  // The filters with a reference each, and the version of the set they were taken at.
  std::vector<ComPtr<IBaseFilter>> snapshotFilters(unsigned* version);
  unsigned filterSetVersion();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;

  // IFilterGraph
  STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override;
  STDMETHODIMP RemoveFilter(IBaseFilter* filter) override;
  STDMETHODIMP EnumFilters(IEnumFilters** enumerator) override;
  STDMETHODIMP FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
  STDMETHODIMP ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP Reconnect(IPin* pin) override;
  STDMETHODIMP Disconnect(IPin* pin) override;
  STDMETHODIMP SetDefaultSyncSource() override;

  // IGraphBuilder
  STDMETHODIMP Connect(IPin* output, IPin* input) override;
  STDMETHODIMP Render(IPin* output) override;
  STDMETHODIMP RenderFile(LPCWSTR file, LPCWSTR playList) override;
  STDMETHODIMP AddSourceFilter(LPCWSTR fileName, LPCWSTR filterName, IBaseFilter** filter) override;
  STDMETHODIMP SetLogFile(DWORD_PTR file) override;
  STDMETHODIMP Abort() override;
  STDMETHODIMP ShouldOperationContinue() override;

  // IDispatch (of IMediaControl and IMediaEventEx): no type information.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override;

  // IMediaControl (Pause and Stop serve IMediaFilter too)
  STDMETHODIMP Run() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP GetState(LONG milliseconds, OAFilterState* state) override;
  STDMETHODIMP RenderFile(BSTR fileName) override;
  STDMETHODIMP AddSourceFilter(BSTR fileName, IDispatch** filterInfo) override;
  STDMETHODIMP get_FilterCollection(IDispatch** collection) override;
  STDMETHODIMP get_RegFilterCollection(IDispatch** collection) override;
  STDMETHODIMP StopWhenReady() override;

  // IMediaFilter, IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  // IMediaEvent, IMediaEventEx
  STDMETHODIMP GetEventHandle(OAEVENT* event) override;
  STDMETHODIMP GetEvent(long* eventCode, LONG_PTR* param1, LONG_PTR* param2, long milliseconds) override;
  STDMETHODIMP WaitForCompletion(long milliseconds, long* eventCode) override;
  STDMETHODIMP CancelDefaultHandling(long eventCode) override;
  STDMETHODIMP RestoreDefaultHandling(long eventCode) override;
  STDMETHODIMP FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR param2) override;
  STDMETHODIMP SetNotifyWindow(OAHWND window, long message, LONG_PTR instanceData) override;
  STDMETHODIMP SetNotifyFlags(long noNotifyFlags) override;
  STDMETHODIMP GetNotifyFlags(long* noNotifyFlags) override;

  // IMediaEventSink
  STDMETHODIMP Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) override;

  // IMediaSeeking: media time only, no positioning.
  STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID* format) override;
  STDMETHODIMP QueryPreferredFormat(GUID* format) override;
  STDMETHODIMP GetTimeFormat(GUID* format) override;
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
  STDMETHODIMP SetTimeFormat(const GUID* format) override;
  STDMETHODIMP GetDuration(LONGLONG* duration) override;
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                 const GUID* sourceFormat) override;
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  STDMETHODIMP SetRate(double rate) override;
  STDMETHODIMP GetRate(double* rate) override;
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

 private:
  struct Member {
    IBaseFilter* filter;  // one reference
    std::wstring name;
  };

  FilterGraph() = default;
  ~FilterGraph() override;

  // Membership (FilterGraph.cpp); called with lock_ held.
  bool contains(IBaseFilter* filter) const;
  bool nameTaken(const std::wstring& name) const;
  HRESULT uniqueName(LPCWSTR requested, std::wstring* name) const;
  void removeMember(size_t index);

  // Connections (FilterGraphConnect.cpp); called with lock_ held.
  HRESULT checkConnectable(IPin* output, IPin* input);
  HRESULT connectThroughIntermediate(IPin* output, IPin* input);
  HRESULT tryIntermediate(REFCLSID clsid, IPin* output, IPin* input);

  // State changes (FilterGraphControl.cpp); called with lock_ held.
  std::vector<IBaseFilter*> filtersInStateOrder() const;
  void restoreState(const std::vector<IBaseFilter*>& filters, size_t count);
  HRESULT pauseFilters();
  HRESULT runFilters(REFERENCE_TIME start);
  HRESULT stopFilters();
  HRESULT pauseLocked();
  HRESULT runLocked(REFERENCE_TIME start);
  HRESULT chooseDefaultClock();
  void distributeClock();
  int countRenderers() const;
  REFERENCE_TIME clockTime() const;

  mutable std::recursive_mutex lock_;
  // Guarded by lock_.
  std::vector<Member> members_;  // in the order added
  unsigned version_ = 0;         // changes whenever members_ does
  FILTER_STATE state_ = State_Stopped;
  ComPtr<IReferenceClock> clock_;
  bool clockChosenByApplication_ = false;
  REFERENCE_TIME streamStart_ = 0;   // clock time of stream time 0 while running
  REFERENCE_TIME pausedStreamTime_ = 0;  // stream time reached when last paused

  MediaEventQueue events_;
};

// Logs "<what> is not implemented" on the platform's diagnostic channel; E_NOTIMPL.
HRESULT notImplemented(const char* what);

}  // namespace kcm::dshow
