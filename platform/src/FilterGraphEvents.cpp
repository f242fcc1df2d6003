// The graph's event interfaces: filters notify through IMediaEventSink, applications
// read through IMediaEvent(Ex). No window notification exists here.
#include "FilterGraph.h"
#include "evcode.h"
#include "oleauto.h"
#include "vfwmsgs.h"

namespace kcm::dshow {

STDMETHODIMP FilterGraph::Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) {
  events_.notify(eventCode, param1, param2);
  return S_OK;
}

STDMETHODIMP FilterGraph::GetEventHandle(OAEVENT* event) {
  if (event == nullptr) return E_POINTER;
  *event = reinterpret_cast<OAEVENT>(events_.handle());
  return events_.handle() != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP FilterGraph::GetEvent(long* eventCode, LONG_PTR* param1, LONG_PTR* param2, long milliseconds) {
  return events_.get(eventCode, param1, param2, milliseconds);
}

// Only a running graph can complete: VFW_E_WRONG_STATE otherwise, and when the graph
// stops during the wait.
STDMETHODIMP FilterGraph::WaitForCompletion(long milliseconds, long* eventCode) {
  if (eventCode == nullptr) return E_POINTER;
  *eventCode = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (state_ != State_Running) return VFW_E_WRONG_STATE;
  }
  return events_.waitForCompletion(milliseconds, eventCode);
}

STDMETHODIMP FilterGraph::CancelDefaultHandling(long eventCode) { return events_.setDefaultHandling(eventCode, false); }

STDMETHODIMP FilterGraph::RestoreDefaultHandling(long eventCode) { return events_.setDefaultHandling(eventCode, true); }

// Only EC_OLE_EVENT carries allocated parameters (two BSTRs).
STDMETHODIMP FilterGraph::FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR param2) {
  if (eventCode == EC_OLE_EVENT) {
    SysFreeString(reinterpret_cast<BSTR>(param1));
    SysFreeString(reinterpret_cast<BSTR>(param2));
  }
  return S_OK;
}

// Clearing the window (null) is accepted, since there never is one.
STDMETHODIMP FilterGraph::SetNotifyWindow(OAHWND window, long, LONG_PTR) {
  if (window == 0) return S_OK;
  return notImplemented("IMediaEventEx::SetNotifyWindow");
}

STDMETHODIMP FilterGraph::SetNotifyFlags(long noNotifyFlags) { return events_.setNotifyFlags(noNotifyFlags); }

STDMETHODIMP FilterGraph::GetNotifyFlags(long* noNotifyFlags) {
  if (noNotifyFlags == nullptr) return E_POINTER;
  *noNotifyFlags = events_.notifyFlags();
  return S_OK;
}

STDMETHODIMP FilterGraph::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP FilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) {
  if (typeInfo != nullptr) *typeInfo = nullptr;
  return notImplemented("IDispatch::GetTypeInfo on the filter graph");
}

STDMETHODIMP FilterGraph::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return notImplemented("IDispatch::GetIDsOfNames on the filter graph");
}

STDMETHODIMP FilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return notImplemented("IDispatch::Invoke on the filter graph");
}

}  // namespace kcm::dshow
