// IMediaSeeking on the graph: it speaks media time (100 ns units) and reports no
// seeking capabilities; positions, duration and rate are not implemented.
#include "FilterGraph.h"
#include "uuids.h"

namespace kcm::dshow {

namespace {

bool IsMediaTime(const GUID* format) { return format != nullptr && *format == TIME_FORMAT_MEDIA_TIME; }

}  // namespace

STDMETHODIMP FilterGraph::GetCapabilities(DWORD* capabilities) {
  if (capabilities == nullptr) return E_POINTER;
  *capabilities = 0;
  return S_OK;
}

// None of the asked capabilities exists: E_FAIL (S_OK when none was asked).
STDMETHODIMP FilterGraph::CheckCapabilities(DWORD* capabilities) {
  if (capabilities == nullptr) return E_POINTER;
  const bool asked = *capabilities != 0;
  *capabilities = 0;
  return asked ? E_FAIL : S_OK;
}

STDMETHODIMP FilterGraph::IsFormatSupported(const GUID* format) {
  if (format == nullptr) return E_POINTER;
  return IsMediaTime(format) ? S_OK : S_FALSE;
}

STDMETHODIMP FilterGraph::QueryPreferredFormat(GUID* format) { return GetTimeFormat(format); }

STDMETHODIMP FilterGraph::GetTimeFormat(GUID* format) {
  if (format == nullptr) return E_POINTER;
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

STDMETHODIMP FilterGraph::IsUsingTimeFormat(const GUID* format) {
  if (format == nullptr) return E_POINTER;
  return IsMediaTime(format) ? S_OK : S_FALSE;
}

STDMETHODIMP FilterGraph::SetTimeFormat(const GUID* format) {
  if (format == nullptr) return E_POINTER;
  return IsMediaTime(format) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP FilterGraph::GetDuration(LONGLONG*) { return notImplemented("IMediaSeeking::GetDuration"); }
STDMETHODIMP FilterGraph::GetStopPosition(LONGLONG*) { return notImplemented("IMediaSeeking::GetStopPosition"); }
STDMETHODIMP FilterGraph::GetCurrentPosition(LONGLONG*) {
  return notImplemented("IMediaSeeking::GetCurrentPosition");
}
STDMETHODIMP FilterGraph::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) {
  return notImplemented("IMediaSeeking::ConvertTimeFormat");
}
STDMETHODIMP FilterGraph::SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD) {
  return notImplemented("IMediaSeeking::SetPositions");
}
STDMETHODIMP FilterGraph::GetPositions(LONGLONG*, LONGLONG*) { return notImplemented("IMediaSeeking::GetPositions"); }
STDMETHODIMP FilterGraph::GetAvailable(LONGLONG*, LONGLONG*) { return notImplemented("IMediaSeeking::GetAvailable"); }
STDMETHODIMP FilterGraph::SetRate(double) { return notImplemented("IMediaSeeking::SetRate"); }
STDMETHODIMP FilterGraph::GetRate(double*) { return notImplemented("IMediaSeeking::GetRate"); }
STDMETHODIMP FilterGraph::GetPreroll(LONGLONG*) { return notImplemented("IMediaSeeking::GetPreroll"); }

}  // namespace kcm::dshow
