// The shape of every Create… factory export: construct, query, answer; on any failure
// destroy the object and answer null. No exception leaves a factory.
#pragma once

#include <string>

#include "KestroUnknownEx.h"
#include "processthreadsapi.h"

template <class Object>
void* CreateUnknownExObject(const GUID& iid, unsigned long version) {
  Object* object = nullptr;
  try {
    object = new Object();
    void* answer = object->Ex_QueryInterface(iid, version);
    if (answer == nullptr) throw std::wstring(L"interface or version not supported");
    return answer;
  }
  KCM_RETHROW_THREAD_CANCEL
  catch (...) {
    delete object;
    return nullptr;
  }
}
