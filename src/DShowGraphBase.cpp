#include "KestroDShowGraphBase.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wchar.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "FFDshowModule.h"
#include "GraphHelpers.h"
#include "KestroLog.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "SourcePath.h"
#include "objidl.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("DShowGraphBase");

HRESULT logged(HRESULT hr, int line, const char* expression) {
  return logFailedCheck(kSourcePath, hr, line, expression);
}

// Publishes `graph` for graph viewers under "!FilterGraph <graph> pid <process>".
HRESULT AddGraphToRot(IUnknown* graph, uint32_t* cookie) {
  IRunningObjectTable* table = nullptr;
  HRESULT hr = GetRunningObjectTable(0, &table);
  if (FAILED(hr)) return hr;
  wchar_t name[128];
  swprintf(name, 128, L"FilterGraph %08x pid %08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph)),
           static_cast<unsigned>(GetCurrentProcessId()));
  IMoniker* moniker = nullptr;
  hr = CreateItemMoniker(L"!", name, &moniker);
  if (SUCCEEDED(hr)) {
    DWORD registration = 0;
    hr = table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker, &registration);
    if (SUCCEEDED(hr)) *cookie = registration;
    moniker->Release();
  }
  table->Release();
  return hr;
}

void RemoveGraphFromRot(uint32_t cookie) {
  IRunningObjectTable* table = nullptr;
  if (FAILED(GetRunningObjectTable(0, &table))) return;
  table->Revoke(cookie);
  table->Release();
}

bool isConnected(IPin* pin) {
  IPin* peer = nullptr;
  if (FAILED(pin->ConnectedTo(&peer)) || peer == nullptr) return false;
  peer->Release();
  return true;
}

// The first pin of `filter` with `direction` that `accept` takes (one reference), or null.
template <class Accept>
IPin* findPin(IBaseFilter* filter, PIN_DIRECTION direction, Accept accept) {
  IEnumPins* pins = nullptr;
  if (FAILED(filter->EnumPins(&pins)) || pins == nullptr) return nullptr;
  IPin* found = nullptr;
  IPin* pin = nullptr;
  while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction && accept(pin)) {
      found = pin;
    } else {
      pin->Release();
    }
  }
  pins->Release();
  return found;
}

IPin* firstUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  return findPin(filter, direction, [](IPin* pin) { return !isConnected(pin); });
}

// An output pin that no input feeds (internal connections: none) marks a renderer.
bool isRendererByPins(IBaseFilter* filter) {
  bool hasOutput = false;
  IPin* unfed = findPin(filter, PINDIR_OUTPUT, [&hasOutput](IPin* pin) {
    hasOutput = true;
    ULONG count = 0;
    const HRESULT hr = pin->QueryInternalConnections(nullptr, &count);
    return hr != E_NOTIMPL && SUCCEEDED(hr) && count == 0;
  });
  if (unfed != nullptr) unfed->Release();
  return !hasOutput || unfed != nullptr;
}

bool isRenderer(IBaseFilter* filter) {
  IAMFilterMiscFlags* flags = nullptr;
  if (SUCCEEDED(filter->QueryInterface(IID_IAMFilterMiscFlags, reinterpret_cast<void**>(&flags)))) {
    const bool renderer = (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
    flags->Release();
    return renderer;
  }
  return isRendererByPins(filter);
}

}  // namespace

CDShowGraphBase::CDShowGraphBase()
    : m_pCaptureBuilder(nullptr),
      m_pGraphBuilder(nullptr),
      m_pMediaControl(nullptr),
      m_pMediaSeeking(nullptr),
      m_dwRotRegister(0),
      m_pMediaEvent(nullptr),
      m_bStop(TRUE),
      m_stopWake(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CDShowGraphBase::~CDShowGraphBase() {
  destoryGraphBuild();
  if (m_stopWake != nullptr) CloseHandle(m_stopWake);
}

HRESULT CDShowGraphBase::initGraphBuild(bool registerInRot, IGraphBuilder* graph) {
  HRESULT hr = createGraphInterfaces(graph);
  if (SUCCEEDED(hr) && registerInRot && FAILED(hr = AddGraphToRot(m_pGraphBuilder, &m_dwRotRegister))) {
    logged(hr, __LINE__, "\"hr = AddGraphToRot(m_pGraphBuilder, &m_dwRotRegister)\"");
  }
  if (FAILED(hr)) {
    destoryGraphBuild();  // a half-built graph would pass for a built one
    return hr;
  }
  m_bStop = FALSE;
  if (m_stopWake != nullptr) ResetEvent(m_stopWake);
  start(QThread::InheritPriority);
  return S_OK;
}

HRESULT CDShowGraphBase::createGraphInterfaces(IGraphBuilder* graph) {
  HRESULT hr = S_OK;
  if (graph != nullptr) {
    graph->AddRef();
    m_pGraphBuilder = graph;
  } else if (FAILED(hr = CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                          (void**)&m_pGraphBuilder))) {
    return logged(hr, __LINE__,
                  "\"(hr = CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, "
                  "(void **)&m_pGraphBuilder))\"");
  }
  if (FAILED(hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                   (void**)&m_pCaptureBuilder))) {
    return logged(hr, __LINE__,
                  "\"(hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER, "
                  "IID_ICaptureGraphBuilder2, (void **)&m_pCaptureBuilder))\"");
  }
  if (FAILED(hr = m_pCaptureBuilder->SetFiltergraph(m_pGraphBuilder))) {
    return logged(hr, __LINE__, "\"(hr = m_pCaptureBuilder->SetFiltergraph(m_pGraphBuilder))\"");
  }
  if (FAILED(hr = m_pGraphBuilder->QueryInterface(IID_IMediaControl, (void**)&m_pMediaControl))) {
    return logged(hr, __LINE__, "\"(hr = m_pGraphBuilder->QueryInterface(IID_IMediaControl, (void **)&m_pMediaControl))\"");
  }
  if (FAILED(hr = m_pGraphBuilder->QueryInterface(IID_IMediaSeeking, (void**)&m_pMediaSeeking))) {
    return logged(hr, __LINE__, "\"(hr = m_pGraphBuilder->QueryInterface(IID_IMediaSeeking, (void **)&m_pMediaSeeking))\"");
  }
  if (FAILED(hr = m_pGraphBuilder->QueryInterface(IID_IMediaEvent, (void**)&m_pMediaEvent))) {
    return logged(hr, __LINE__, "\"(hr = m_pGraphBuilder->QueryInterface(IID_IMediaEvent, (void **)&m_pMediaEvent))\"");
  }
  return S_OK;
}

void CDShowGraphBase::destoryGraphBuild() {
  m_bStop = TRUE;
  if (m_stopWake != nullptr) SetEvent(m_stopWake);
  wait();  // returns at once when the thread never ran
  waitForEventThreadExit();
  if (m_dwRotRegister != 0) {
    RemoveGraphFromRot(m_dwRotRegister);
    m_dwRotRegister = 0;
  }
  releaseAndClear(m_pMediaEvent);
  releaseAndClear(m_pCaptureBuilder);
  releaseAndClear(m_pGraphBuilder);
  releaseAndClear(m_pMediaControl);
  releaseAndClear(m_pMediaSeeking);
}

// QThread::wait returns when run() is over, while the thread still tears down its
// thread-local state inside Qt. A host that unloads the library or exits right after
// destroying a graph would race that teardown, so wait until the kernel task is gone.
void CDShowGraphBase::waitForEventThreadExit() {
  const long tid = m_eventThreadTid.exchange(0);
  if (tid == 0) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (!(syscall(SYS_tgkill, getpid(), tid, 0) != 0 && errno == ESRCH) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void CDShowGraphBase::run() {
  const long tid = static_cast<long>(syscall(SYS_gettid));
  m_eventThreadTid = tid;
  try {
    while (!m_bStop) {
      OAEVENT event = 0;
      if (m_pMediaEvent == nullptr || FAILED(m_pMediaEvent->GetEventHandle(&event)) || event == 0) {
        Sleep(10);
        continue;
      }
      const HANDLE wakers[] = {reinterpret_cast<HANDLE>(event), m_stopWake};
      const DWORD count = m_stopWake != nullptr ? 2 : 1;
      if (WaitForMultipleObjects(count, wakers, FALSE, 50) == WAIT_OBJECT_0) drainGraphEvents();
    }
  } catch (...) {
    kcm_logExpression(kSourcePath, __LINE__, "\"CDShowGraphBase::run\"", KcmLogCritical, true);
  }
  // Published again on the way out: the owner takes it after QThread::wait, so all this
  // thread did is ordered before what the owner does next in terms ThreadSanitizer
  // sees too (Qt's own locking is invisible to it).
  m_eventThreadTid.store(tid, std::memory_order_release);
}

void CDShowGraphBase::drainGraphEvents() {
  long code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
  while (m_pMediaEvent->GetEvent(&code, &param1, &param2, 0) == S_OK) {
    onGraphEvent(code, static_cast<long>(param1), static_cast<long>(param2));
    m_pMediaEvent->FreeEventParams(code, param1, param2);
  }
}

void CDShowGraphBase::onGraphEvent(long, long, long) {}

HRESULT CDShowGraphBase::createFilter(const GUID& clsid, IBaseFilter** out) {
  const HRESULT hr = CoCreateInstance(clsid, NULL, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)out);
  return logged(hr, __LINE__,
                "\"hr = CoCreateInstance(clsidCategory, NULL, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void **) "
                "ppOutFilter)\"");
}

HRESULT CDShowGraphBase::connectFFdshowFilter(int isVideo, IBaseFilter* sourceFilter, IBaseFilter** renderOut) {
  if (m_pGraphBuilder == nullptr || sourceFilter == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  IBaseFilter* ffdshowFilter = Kestro::createFFDshowFilter(
      isVideo ? Kestro::FFDshowEntry::VideoRaw : Kestro::FFDshowEntry::AudioRaw, &hr);
  if (ffdshowFilter == nullptr) return hr;
  IBaseFilter* sampleRenderFilter = nullptr;
  if (FAILED(hr = m_pGraphBuilder->AddFilter(ffdshowFilter, isVideo ? L"ffdshow video filter" : L"ffdshow audio filter"))) {
    logged(hr, __LINE__,
           isVideo ? "\"m_pGraphBuilder->AddFilter(ffdshowFilter, TEXT(\\\"ffdshow video filter\\\"))\""
                   : "\"m_pGraphBuilder->AddFilter(ffdshowFilter, TEXT(\\\"ffdshow audio filter\\\"))\"");
  } else if (FAILED(hr = ConnectFilters(m_pGraphBuilder, sourceFilter, ffdshowFilter))) {
    logged(hr, __LINE__, "\"hr = ConnectFilters(m_pGraphBuilder, sourceFilter, ffdshowFilter)\"");
  } else if (FAILED(hr = kcm_createInstance(CSampleRenderFilter::CreateInstance(0, &hr), IID_IBaseFilter,
                                            (void**)&sampleRenderFilter))) {
    logged(hr, __LINE__,
           "\"hr =kcm_createInstance(CSampleRenderFilter::CreateInstance(0, &hr), IID_IBaseFilter, "
           "(void**)&sampleRenderFilter)\"");
  } else if (FAILED(hr = m_pGraphBuilder->AddFilter(sampleRenderFilter, L"sample render filter"))) {
    logged(hr, __LINE__, "\"m_pGraphBuilder->AddFilter(sampleRenderFilter, TEXT(\\\"sample render filter\\\"))\"");
  } else if (FAILED(hr = ConnectFilters(m_pGraphBuilder, ffdshowFilter, sampleRenderFilter))) {
    logged(hr, __LINE__, "\"hr = ConnectFilters(m_pGraphBuilder, ffdshowFilter, sampleRenderFilter)\"");
  } else if (renderOut != nullptr) {
    sampleRenderFilter->AddRef();
    *renderOut = sampleRenderFilter;
  }
  releaseAndClear(sampleRenderFilter);
  ffdshowFilter->Release();
  return hr;
}

HRESULT CDShowGraphBase::ConnectFilters(IGraphBuilder* graph, IBaseFilter* upFilter, IBaseFilter* downFilter,
                                        const AM_MEDIA_TYPE* mediaType) {
  if (graph == nullptr || upFilter == nullptr || downFilter == nullptr) return E_POINTER;
  IPin* output = firstUnconnectedPin(upFilter, PINDIR_OUTPUT);
  if (output == nullptr) return VFW_E_NOT_FOUND;
  IPin* input = firstUnconnectedPin(downFilter, PINDIR_INPUT);
  if (input == nullptr) {
    output->Release();
    return VFW_E_NOT_FOUND;
  }
  const HRESULT hr = mediaType != nullptr ? output->Connect(input, mediaType) : graph->Connect(output, input);
  input->Release();
  output->Release();
  return hr;
}

HRESULT CDShowGraphBase::gatherRenderFilter(IGraphBuilder* graph, std::vector<IBaseFilter*>& renderers) {
  if (graph == nullptr) return E_POINTER;
  IEnumFilters* filters = nullptr;
  HRESULT hr = graph->EnumFilters(&filters);
  if (FAILED(hr)) return hr;
  bool found = false;
  IBaseFilter* filter = nullptr;
  while (filters->Next(1, &filter, nullptr) == S_OK) {
    if (isRenderer(filter)) {
      renderers.push_back(filter);  // keeps the enumeration's reference
      found = true;
    } else {
      filter->Release();
    }
  }
  filters->Release();
  return found ? S_OK : VFW_E_NOT_FOUND;
}
