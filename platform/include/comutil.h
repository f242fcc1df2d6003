// _bstr_t: a BSTR with value semantics (each copy owns its own string).
#pragma once

#include <utility>

#include "oleauto.h"

class _bstr_t {
 public:
  _bstr_t() = default;
  _bstr_t(const wchar_t* text) : bstr_(SysAllocString(text)) {}  // NOLINT: converts like the SDK's
  // Takes `text` over when `copy` is false, as the SDK's constructor does.
  _bstr_t(BSTR text, bool copy) : bstr_(copy ? Copy(text) : text) {}
  _bstr_t(const _bstr_t& other) : bstr_(Copy(other.bstr_)) {}
  _bstr_t(_bstr_t&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
  _bstr_t& operator=(_bstr_t other) noexcept {
    std::swap(bstr_, other.bstr_);
    return *this;
  }
  ~_bstr_t() { SysFreeString(bstr_); }

  operator const wchar_t*() const { return bstr_; }
  operator wchar_t*() const { return bstr_; }
  unsigned int length() const { return SysStringLen(bstr_); }
  BSTR GetBSTR() const { return bstr_; }
  BSTR copy() const { return Copy(bstr_); }
  void Attach(BSTR text) {
    SysFreeString(bstr_);
    bstr_ = text;
  }
  BSTR Detach() { return std::exchange(bstr_, nullptr); }

 private:
  static BSTR Copy(BSTR text) { return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text)); }
  BSTR bstr_ = nullptr;
};
