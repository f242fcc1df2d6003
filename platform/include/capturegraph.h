// The capture graph builder (ICaptureGraphBuilder2) and the filter flags a graph asks
// when it looks for renderers (IAMFilterMiscFlags).
//
// The platform's builder keeps the graph it was given and finds interfaces on a filter,
// its pins and its neighbours (FindInterface); the building operations (RenderStream,
// capture files, stream control) answer E_NOTIMPL.
#pragma once

#include "strmif.h"
#include "uuids.h"

struct IFileSinkFilter;
struct IAMCopyCaptureFileProgress;

DEFINE_GUID(IID_ICaptureGraphBuilder2, 0x93E5A4E0, 0x2D50, 0x11D2, 0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D);
DEFINE_GUID(IID_IAMFilterMiscFlags, 0x2DD74950, 0xA890, 0x11D1, 0xAB, 0xE8, 0x00, 0xA0, 0xC9, 0x05, 0xF3, 0x75);

#define AM_FILTER_MISC_FLAGS_IS_RENDERER 0x1
#define AM_FILTER_MISC_FLAGS_IS_SOURCE 0x2

struct IAMFilterMiscFlags : public IUnknown {
  STDMETHOD_(ULONG, GetMiscFlags)() PURE;
};

struct ICaptureGraphBuilder2 : public IUnknown {
  STDMETHOD(SetFiltergraph)(IGraphBuilder* graph) PURE;
  STDMETHOD(GetFiltergraph)(IGraphBuilder** graph) PURE;
  STDMETHOD(SetOutputFileName)(const GUID* type, LPCOLESTR file, IBaseFilter** mux, IFileSinkFilter** sink) PURE;
  // `iid` on `filter` itself, then on its pins, then on the filters downstream and
  // upstream of it (one way only for LOOK_UPSTREAM_ONLY, LOOK_DOWNSTREAM_ONLY).
  // Other categories and the type are not matched. Nothing found → E_NOINTERFACE; no
  // graph → E_UNEXPECTED.
  STDMETHOD(FindInterface)(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                           void** out) PURE;
  STDMETHOD(RenderStream)(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
                          IBaseFilter* renderer) PURE;
  STDMETHOD(ControlStream)(const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
                           REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie) PURE;
  STDMETHOD(AllocCapFile)(LPCOLESTR file, ULONGLONG size) PURE;
  STDMETHOD(CopyCaptureFile)(LPOLESTR oldFile, LPOLESTR newFile, int allowEscapeAbort,
                             IAMCopyCaptureFileProgress* callback) PURE;
  STDMETHOD(FindPin)(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                     BOOL unconnected, int index, IPin** pin) PURE;
};
