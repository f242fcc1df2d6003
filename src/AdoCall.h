// How the database object calls ADO: a failed HRESULT raises _com_error with the error
// information the ADO object left, as ADO's raising wrappers do; interface pointers and
// VARIANTs are held for the length of a call.
#pragma once

#include "adoint.h"
#include "comdef.h"

namespace Kestro {
namespace ado {

inline void Check(HRESULT result) {
  if (FAILED(result)) _com_issue_errorex(result, nullptr, IID_NULL);
}

// Calls on a missing ADO object fail as E_POINTER.
template <class Interface>
Interface* Require(Interface* object) {
  if (object == nullptr) _com_issue_error(E_POINTER);
  return object;
}

// One reference, released at the end of the scope.
template <class Interface>
class Held {
 public:
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (object_ != nullptr) object_->Release();
  }
  Interface** Out() { return &object_; }
  Interface* operator->() const { return Require(object_); }
  Interface* get() const { return object_; }

 private:
  Interface* object_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  explicit Variant(const wchar_t* text) : Variant() {
    value_.bstrVal = SysAllocString(text == nullptr ? L"" : text);
    if (value_.bstrVal == nullptr) _com_issue_error(E_OUTOFMEMORY);
    value_.vt = VT_BSTR;
  }
  explicit Variant(LONG number) : Variant() {
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }
  VARIANT& get() { return value_; }
  VARIANT* Out() {
    VariantClear(&value_);
    return &value_;
  }
  // A missing optional argument.
  static void Missing(VARIANT* value) {
    VariantInit(value);
    value->vt = VT_ERROR;
    value->scode = DISP_E_PARAMNOTFOUND;
  }

 private:
  VARIANT value_;
};

}  // namespace ado
}  // namespace Kestro
