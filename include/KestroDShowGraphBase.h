// CDShowGraphBase: one DirectShow filter graph with its capture graph builder and
// control interfaces, a thread that drains the graph's events, and the building blocks
// of processing graphs (filters by class, ffdshow chains, connections, renderers).
#pragma once

#include <atomic>
#include <vector>

#include <QThread>

#include "KestroExport.h"
#include "capturegraph.h"
#include "dshow.h"

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
};
