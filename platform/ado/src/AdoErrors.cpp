#include "AdoErrors.h"

#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include "OdbcText.h"

namespace kcm::ado {

namespace {

// SQLSTATEs of a connection that failed or went away; the Errors entry then carries the
// number a lost connection has (E_FAIL).
bool IsConnectionState(const std::wstring& state) {
  return state.compare(0, 2, L"08") == 0 || state == L"57P01" || state == L"57P02" || state == L"57P03" ||
         state == L"HYT01";
}

const wchar_t* AdoText(ErrorValueEnum number) {
  switch (number) {
    case adErrNoCurrentRecord:
      return L"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
             L"current record.";
    case adErrItemNotFound:
      return L"Item cannot be found in the collection corresponding to the requested name or ordinal.";
    case adErrObjectClosed: return L"Operation is not allowed when the object is closed.";
    case adErrObjectOpen: return L"Operation is not allowed when the object is open.";
    case adErrProviderNotFound: return L"Provider cannot be found. It may not be properly installed.";
    case adErrInvalidConnection:
      return L"The connection cannot be used to perform this operation. It is either closed or invalid in this "
             L"context.";
    default: return L"Operation failed.";
  }
}

class Error final : public AdoObject<ADOError> {
 public:
  explicit Error(const ErrorRecord& record) : AdoObject(IID_Error), record_(record) {}
  STDMETHODIMP get_Number(LONG* number) override { return Answer(number, record_.number); }
  STDMETHODIMP get_Source(BSTR* source) override { return AnswerText(source, record_.source); }
  STDMETHODIMP get_Description(BSTR* text) override { return AnswerText(text, record_.description); }
  STDMETHODIMP get_SQLState(BSTR* state) override { return AnswerText(state, record_.sqlState); }
  STDMETHODIMP get_NativeError(LONG* error) override { return Answer(error, record_.nativeError); }

 private:
  static HRESULT Answer(LONG* out, LONG value) {
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
  }
  static HRESULT AnswerText(BSTR* out, const std::wstring& value) {
    if (out == nullptr) return E_POINTER;
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  const ErrorRecord record_;
};

class Errors final : public AdoObject<ADOErrors> {
 public:
  explicit Errors(std::shared_ptr<ErrorList> list) : AdoObject(IID_Errors), list_(std::move(list)) {}
  STDMETHODIMP get_Count(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<LONG>(list_->size());
    return S_OK;
  }
  STDMETHODIMP get_Item(VARIANT index, ADOError** error) override {
    if (error == nullptr) return E_POINTER;
    *error = nullptr;
    const long at = IndexOf(index, list_->size(), nullptr);
    if (at < 0) return RaiseAdo(adErrItemNotFound, L"ADODB.Errors");
    return Guarded([&] {
      *error = new Error((*list_)[at]);
      return S_OK;
    });
  }
  STDMETHODIMP Clear() override {
    list_->clear();
    return S_OK;
  }

 private:
  std::shared_ptr<ErrorList> list_;
};

}  // namespace

std::vector<ErrorRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const std::wstring& source) {
  std::vector<ErrorRecord> records;
  for (SQLSMALLINT number = 1;; ++number) {
    SQLWCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLWCHAR message[1024];
    SQLSMALLINT length = 0;
    const SQLRETURN result =
        SQLGetDiagRecW(handleType, handle, number, state, &nativeError, message, sizeof message / sizeof message[0], &length);
    if (!SQL_SUCCEEDED(result)) break;
    ErrorRecord record;
    record.sqlState = FromOdbc(state, 5);
    record.number = IsConnectionState(record.sqlState) ? E_FAIL : DISP_E_EXCEPTION;
    const size_t kept = std::min<size_t>(length, sizeof message / sizeof message[0] - 1);
    record.description = FromOdbc(message, kept);
    record.source = source;
    record.nativeError = nativeError;
    records.push_back(std::move(record));
  }
  return records;
}

HRESULT Raise(const ErrorRecord& record) {
  ICreateErrorInfo* creator = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&creator))) {
    creator->SetDescription(const_cast<LPOLESTR>(record.description.c_str()));
    creator->SetSource(const_cast<LPOLESTR>(record.source.c_str()));
    IErrorInfo* info = KcmErrorInfoOf(creator);
    SetErrorInfo(0, info);
    if (info != nullptr) info->Release();
    creator->Release();
  }
  return record.number;
}

HRESULT RaiseAdo(ErrorValueEnum number, const wchar_t* source) {
  ErrorRecord record;
  record.number = ADO_ERROR_HRESULT(number);
  record.description = AdoText(number);
  record.source = source;
  return Raise(record);
}

HRESULT RaiseInvalidArgument(const wchar_t* source) {
  ErrorRecord record;
  record.number = E_INVALIDARG;
  record.description = L"Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";
  record.source = source;
  return Raise(record);
}

HRESULT RaiseProviderErrors(std::vector<ErrorRecord> records, ErrorList* list, const wchar_t* fallback) {
  if (records.empty()) {
    ErrorRecord record;
    record.description = std::wstring(L"The ODBC driver failed without a diagnostic: ") + fallback;
    record.source = fallback;
    records.push_back(std::move(record));
  }
  const ErrorRecord first = records.front();
  if (list != nullptr) *list = std::move(records);
  return Raise(first);
}

HRESULT CreateErrorsCollection(std::shared_ptr<ErrorList> list, ADOErrors** errors) {
  if (errors == nullptr) return E_POINTER;
  return Guarded([&] {
    *errors = new Errors(std::move(list));
    return S_OK;
  });
}

namespace {

wint_t FoldCase(wchar_t character) {
  if (character >= L'A' && character <= L'Z') return character - L'A' + L'a';
  return character < 0x80 ? static_cast<wint_t>(character) : towlower(static_cast<wint_t>(character));
}

// Equal ignoring case, as wcscasecmp decides, but without the locale for the usual
// names (field names are looked up for every value read).
bool SameName(const wchar_t* left, const wchar_t* right) {
  for (;; ++left, ++right) {
    if (*left == *right) {
      if (*left == 0) return true;
    } else if (FoldCase(*left) != FoldCase(*right)) {
      return false;
    }
  }
}

}  // namespace

long IndexOf(const VARIANT& index, size_t count, const std::vector<std::wstring>* names) {
  const VARIANT* plain = index.vt == (VT_VARIANT | VT_BYREF) ? index.pvarVal : &index;
  if (plain->vt == VT_BSTR) {
    if (names == nullptr || plain->bstrVal == nullptr) return -1;
    for (size_t i = 0; i < names->size(); ++i) {
      if (SameName((*names)[i].c_str(), plain->bstrVal)) return static_cast<long>(i);
    }
    return -1;
  }
  VARIANT number;
  VariantInit(&number);
  if (plain->vt == VT_I4 || plain->vt == VT_INT) {
    number = *plain;  // the common case, without the general conversion
  } else if (FAILED(VariantChangeType(&number, plain, 0, VT_I4))) {
    return -1;
  }
  return number.lVal >= 0 && static_cast<size_t>(number.lVal) < count ? number.lVal : -1;
}

}  // namespace kcm::ado
