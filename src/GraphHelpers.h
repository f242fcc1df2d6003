// Small helpers shared by the graph sources: the logged check every graph step makes,
// and the release of a held COM pointer.
#pragma once

#include "KestroLog.h"
#include "winerror.h"

// Logs a failed check with its expression text and hands the result on unchanged.
inline HRESULT logFailedCheck(const char* sourcePath, HRESULT hr, int line, const char* expression) {
  if (FAILED(hr)) kcm_logExpression(sourcePath, line, expression, KcmLogCritical, true);
  return hr;
}

template <class T>
void releaseAndClear(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}
