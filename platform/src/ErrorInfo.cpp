// Per-thread error information: the object a failing call leaves for its caller.
#include <string>

#include "ComObject.h"
#include "oleauto.h"

namespace {

class ErrorInfo final : public kcm::com::RefCounted<IErrorInfo, ICreateErrorInfo> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    return kcm::com::handOut(static_cast<IErrorInfo*>(this), object);
  }

  STDMETHODIMP GetGUID(GUID* guid) override { return Answer(guid, guid_); }
  STDMETHODIMP GetSource(BSTR* source) override { return AnswerText(source, source_); }
  STDMETHODIMP GetDescription(BSTR* description) override { return AnswerText(description, description_); }
  STDMETHODIMP GetHelpFile(BSTR* helpFile) override { return AnswerText(helpFile, helpFile_); }
  STDMETHODIMP GetHelpContext(DWORD* helpContext) override { return Answer(helpContext, helpContext_); }

  STDMETHODIMP SetGUID(REFGUID guid) override { return Store(&guid_, guid); }
  STDMETHODIMP SetSource(LPOLESTR source) override { return Store(&source_, Text(source)); }
  STDMETHODIMP SetDescription(LPOLESTR description) override { return Store(&description_, Text(description)); }
  STDMETHODIMP SetHelpFile(LPOLESTR helpFile) override { return Store(&helpFile_, Text(helpFile)); }
  STDMETHODIMP SetHelpContext(DWORD helpContext) override { return Store(&helpContext_, helpContext); }

 private:
  static std::wstring Text(LPOLESTR text) { return text == nullptr ? std::wstring() : std::wstring(text); }

  template <class Value>
  static HRESULT Answer(Value* out, const Value& value) {
    if (out == nullptr) return E_INVALIDARG;
    *out = value;
    return S_OK;
  }
  static HRESULT AnswerText(BSTR* out, const std::wstring& value) {
    if (out == nullptr) return E_INVALIDARG;
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  template <class Value>
  static HRESULT Store(Value* field, const Value& value) {
    try {
      *field = value;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  GUID guid_ = GUID_NULL;
  std::wstring source_;
  std::wstring description_;
  std::wstring helpFile_;
  DWORD helpContext_ = 0;
};

// The thread's error information holds one reference; it is released when replaced,
// taken, or when the thread ends.
struct ThreadErrorInfo {
  IErrorInfo* info = nullptr;
  ~ThreadErrorInfo() {
    if (info != nullptr) info->Release();
  }
};
thread_local ThreadErrorInfo tCurrent;

}  // namespace

HRESULT WINAPI SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  if (info != nullptr) info->AddRef();
  if (tCurrent.info != nullptr) tCurrent.info->Release();
  tCurrent.info = info;
  return S_OK;
}

HRESULT WINAPI GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  *info = tCurrent.info;
  tCurrent.info = nullptr;
  return *info == nullptr ? S_FALSE : S_OK;
}

HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = new (std::nothrow) ErrorInfo();
  return *info == nullptr ? E_OUTOFMEMORY : S_OK;
}

IErrorInfo* KcmErrorInfoOf(ICreateErrorInfo* info) {
  ErrorInfo* object = dynamic_cast<ErrorInfo*>(info);
  if (object == nullptr) return nullptr;
  object->AddRef();
  return object;
}
