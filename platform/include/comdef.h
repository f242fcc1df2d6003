// _com_error: the exception that raising COM wrappers throw for a failed HRESULT, with
// the error information the failing object left on the thread.
#pragma once

#include <wchar.h>

#include "comutil.h"

class _com_error {
 public:
  // Takes over one reference of `info` unless `addRef` asks for a new one.
  explicit _com_error(HRESULT result, IErrorInfo* info = nullptr, bool addRef = false) : result_(result), info_(info) {
    if (info_ != nullptr && addRef) info_->AddRef();
  }
  _com_error(const _com_error& other) : _com_error(other.result_, other.info_, true) {}
  _com_error& operator=(const _com_error& other) {
    if (this != &other) {
      if (other.info_ != nullptr) other.info_->AddRef();
      if (info_ != nullptr) info_->Release();
      result_ = other.result_;
      info_ = other.info_;
    }
    return *this;
  }
  virtual ~_com_error() {
    if (info_ != nullptr) info_->Release();
  }

  HRESULT Error() const { return result_; }
  // The error information, with one more reference for the caller; null when none.
  IErrorInfo* ErrorInfo() const {
    if (info_ != nullptr) info_->AddRef();
    return info_;
  }
  // Empty strings when no error information came with the failure.
  _bstr_t Description() const { return Text(&IErrorInfo::GetDescription); }
  _bstr_t Source() const { return Text(&IErrorInfo::GetSource); }
  // A text for the code itself: "Unknown error 0x80004005".
  const wchar_t* ErrorMessage() const {
    swprintf(message_, sizeof message_ / sizeof message_[0], L"Unknown error 0x%08X", static_cast<unsigned>(result_));
    return message_;
  }

 private:
  _bstr_t Text(HRESULT (STDMETHODCALLTYPE IErrorInfo::*get)(BSTR*)) const {
    BSTR text = nullptr;
    if (info_ == nullptr || FAILED((info_->*get)(&text))) return _bstr_t();
    return _bstr_t(text, false);
  }

  HRESULT result_;
  IErrorInfo* info_;
  mutable wchar_t message_[32] = {};
};

// Throw the _com_error of `result`; the Ex form takes the thread's error information.
[[noreturn]] inline void _com_issue_error(HRESULT result) { throw _com_error(result); }
[[noreturn]] inline void _com_issue_errorex(HRESULT result, IUnknown*, REFIID) {
  IErrorInfo* info = nullptr;
  GetErrorInfo(0, &info);
  throw _com_error(result, info);
}
