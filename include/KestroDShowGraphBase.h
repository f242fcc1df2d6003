// CDShowGraphBase: one DirectShow filter graph with its capture graph builder and
// control interfaces, a thread that drains the graph's events, and the building blocks
// of processing graphs (filters by class, ffdshow chains, connections, renderers).
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include <QThread>

#include "KestroExport.h"
#include "capturegraph.h"
#include "dshow.h"

class CCrossbar;

class KCM_API CDShowGraphBase : private QThread {
 public:
  CDShowGraphBase();
  ~CDShowGraphBase() override;
  CDShowGraphBase(const CDShowGraphBase&) = delete;
  CDShowGraphBase& operator=(const CDShowGraphBase&) = delete;

  // Uses `graph` (one more reference) or a new filter graph, creates the capture graph
  // builder, queries the control interfaces, registers the graph in the running object
  // table when asked and starts the event thread. Each failure is logged and returned,
  // leaving the object idle.
  HRESULT initGraphBuild(bool registerInRot, IGraphBuilder* graph = nullptr);
  // Stops the event thread (waiting for it), revokes the table entry and releases the
  // interfaces. Idle afterwards; harmless when idle already.
  void destoryGraphBuild();

  // A filter of class `clsid` created in process (one reference in *out).
  HRESULT createFilter(const GUID& clsid, IBaseFilter** out);
  // A DMO wrapper filter hosting the DMO `clsidDMO` of category `catDMO` (one reference in *out).
  HRESULT createDMOWrapperFilter(const GUID& clsidDMO, const GUID& catDMO, IBaseFilter** out);
  // The first device of `category` whose friendly name equals `friendlyName` ignoring
  // case; none → E_INVALIDARG.
  HRESULT createFilter(const GUID& category, const wchar_t* friendlyName, IBaseFilter** out);
  // The video (isVideo nonzero) or audio input device named `friendlyName` exactly; its
  // display name must equal `displayName` too unless <checkDisplayName value="0"/> in
  // "KestroCommonModule.xml" beside the library says otherwise. None → E_FAIL.
  HRESULT createDeviceFilter(int isVideo, wchar_t* friendlyName, wchar_t* displayName, IBaseFilter** out);

  // Device configuration: the best-scored capture format of each output pin, adjusted to
  // the values given (0 keeps the device's). S_OK when a pin was configured.
  HRESULT configVideoDevice(IBaseFilter* device, int width, int height, __int64 avgTimePerFrame, int preferRGB);
  HRESULT configAudioDevice(IBaseFilter* device, int channels, int samplesPerSec, int bitsPerSample);
  HRESULT configVideoDevicePin(IPin* pin, int width, int height, __int64 avgTimePerFrame, int preferRGB);
  HRESULT configAudioDevicePin(IPin* pin, int channels, int samplesPerSec, int bitsPerSample);

  // Called with each capability's media type (freed after the call) and its
  // VIDEO_STREAM_CONFIG_CAPS / AUDIO_STREAM_CONFIG_CAPS block.
  typedef long (*EnumCapabilitiesCallback)(AM_MEDIA_TYPE* mediaType, void* caps, void* context);
  HRESULT enumDeviceCapabilities(IBaseFilter* device, EnumCapabilitiesCallback callback, void* context);
  HRESULT enumDevicePinCapabilities(IPin* pin, EnumCapabilitiesCallback callback, void* context);

  // The object's property pages in the (window-less) property frame; owner may be null.
  HRESULT showPropertyPage(IUnknown* object, HWND owner);
  // Video: the pages of the capture pin's IAMStreamConfig (interleaved stream first);
  // audio: of its IAMAudioInputMixer, then of its IAMStreamConfig.
  HRESULT showPropertyPageDeviceConfig(int isVideo, IBaseFilter* device, HWND owner);

  // ("None", "None"), then (friendly name, display name) of each device of the kind.
  static HRESULT enumDShowDeviceList(bool video, std::vector<std::pair<std::wstring, std::wstring>>& list);

  // The routes of the device's analog video input (a new CCrossbar the caller deletes).
  HRESULT getCrossBar(IBaseFilter* device, CCrossbar** out);
  // Selects the first route from a connector of `physicalType`; S_OK always.
  HRESULT configPhysicalType(CCrossbar* crossbar, long physicalType);
  // The input selection of capture cards with their own private interface; S_OK always.
  HRESULT configPhysicalType_3rdParty(IBaseFilter* device, long physicalType);
  // source → ffdshow raw filter of the kind → sample render filter, all added to the
  // graph; the render filter (one reference) in *renderOut when that is given.
  HRESULT connectFFdshowFilter(int isVideo, IBaseFilter* sourceFilter, IBaseFilter** renderOut = nullptr);

  // The first unconnected output pin of `upFilter` to the first unconnected input pin of
  // `downFilter`: directly with `mediaType`, else through the graph's intelligent Connect.
  static HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* upFilter, IBaseFilter* downFilter,
                                const AM_MEDIA_TYPE* mediaType = nullptr);
  // Appends every renderer of `graph` with one reference each (the caller releases
  // them); S_OK when one was found, else VFW_E_NOT_FOUND.
  static HRESULT gatherRenderFilter(IGraphBuilder* graph, std::vector<IBaseFilter*>& renderers);

 protected:
  // The event thread: polls the graph's events until the stop flag is set.
  void run() override;
  // One event of the graph, on the event thread. Does nothing here. A subclass that
  // overrides it calls destoryGraphBuild in its own destructor.
  virtual void onGraphEvent(long code, long param1, long param2);

  ICaptureGraphBuilder2* m_pCaptureBuilder;
  IGraphBuilder* m_pGraphBuilder;
  IMediaControl* m_pMediaControl;
  IMediaSeeking* m_pMediaSeeking;
  uint32_t m_dwRotRegister;  // running object table cookie, 0 when not registered
  IMediaEvent* m_pMediaEvent;
  std::atomic<BOOL> m_bStop;

 private:
  HRESULT createGraphInterfaces(IGraphBuilder* graph);
  void drainGraphEvents();
  void waitForEventThreadExit();

  // Kernel id of the running event thread, 0 when none runs.
  std::atomic<long> m_eventThreadTid{0};
  // Set when the stop flag is, so that the event thread leaves at once rather than at
  // its next poll: closing a graph does not wait out a poll period. Null when the
  // event could not be made; the thread then only polls.
  HANDLE m_stopWake;
};
