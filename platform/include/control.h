// The filter graph's automation-style control interfaces: running the graph and reading
// its events. Slots follow the SDK (IDispatch's four come first).
#pragma once

#include "oaidl.h"
#include "strmif.h"

typedef LONG_PTR OAEVENT;
typedef LONG_PTR OAHWND;
// FILTER_STATE values, as the automation interfaces carry them.
typedef long OAFilterState;
// Seconds, as a double.
typedef double REFTIME;

DEFINE_GUID(IID_IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaEvent, 0x56A868B6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IMediaControl : public IDispatch {
  STDMETHOD(Run)() PURE;
  STDMETHOD(Pause)() PURE;
  STDMETHOD(Stop)() PURE;
  STDMETHOD(GetState)(LONG milliseconds, OAFilterState* state) PURE;
  STDMETHOD(RenderFile)(BSTR fileName) PURE;
  STDMETHOD(AddSourceFilter)(BSTR fileName, IDispatch** filterInfo) PURE;
  STDMETHOD(get_FilterCollection)(IDispatch** collection) PURE;
  STDMETHOD(get_RegFilterCollection)(IDispatch** collection) PURE;
  STDMETHOD(StopWhenReady)() PURE;
};

struct IMediaEvent : public IDispatch {
  // A manual-reset event HANDLE, signalled while events are queued. It belongs to the
  // graph: do not close it.
  STDMETHOD(GetEventHandle)(OAEVENT* event) PURE;
  // Takes the oldest event, waiting up to `milliseconds` (INFINITE: no limit); E_ABORT
  // when none arrives in time. Pass the parameters to FreeEventParams afterwards.
  STDMETHOD(GetEvent)(long* eventCode, LONG_PTR* param1, LONG_PTR* param2, long milliseconds) PURE;
  STDMETHOD(WaitForCompletion)(long milliseconds, long* eventCode) PURE;
  STDMETHOD(CancelDefaultHandling)(long eventCode) PURE;
  STDMETHOD(RestoreDefaultHandling)(long eventCode) PURE;
  STDMETHOD(FreeEventParams)(long eventCode, LONG_PTR param1, LONG_PTR param2) PURE;
};

// SetNotifyFlags value that stops events from being queued at all.
#define AM_MEDIAEVENT_NONOTIFY 0x01

struct IMediaEventEx : public IMediaEvent {
  STDMETHOD(SetNotifyWindow)(OAHWND window, long message, LONG_PTR instanceData) PURE;
  STDMETHOD(SetNotifyFlags)(long noNotifyFlags) PURE;
  STDMETHOD(GetNotifyFlags)(long* noNotifyFlags) PURE;
};
