// Connection: opens an ODBC session from an OLE DB or ODBC connection string, runs SQL
// text, and keeps the Errors of the last provider failure.
#include <memory>

#include "AdoClasses.h"

namespace kcm::ado {

namespace {

const wchar_t kSource[] = L"ADODB.Connection";
constexpr LONG kDefaultTimeout = 15;

class Connection final : public AdoObject<_Connection> {
 public:
  Connection() : AdoObject(IID__Connection), errors_(std::make_shared<ErrorList>()) {}

  STDMETHODIMP get_ConnectionString(BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    *text = SysAllocStringLen(connectionString_.data(), static_cast<UINT>(connectionString_.size()));
    return *text == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  STDMETHODIMP put_ConnectionString(BSTR text) override {
    if (IsOpen()) return RaiseAdo(adErrObjectOpen, kSource);
    return Guarded([&] {
      connectionString_ = text == nullptr ? L"" : text;
      return S_OK;
    });
  }
  STDMETHODIMP get_ConnectionTimeout(LONG* seconds) override {
    if (seconds == nullptr) return E_POINTER;
    *seconds = timeout_;
    return S_OK;
  }
  STDMETHODIMP put_ConnectionTimeout(LONG seconds) override {
    if (seconds < 0) return RaiseInvalidArgument(kSource);
    timeout_ = seconds;
    return S_OK;
  }
  STDMETHODIMP get_CursorLocation(CursorLocationEnum* location) override {
    if (location == nullptr) return E_POINTER;
    *location = cursorLocation_;
    return S_OK;
  }
  // Recorded; results are fetched on the client whatever it says.
  STDMETHODIMP put_CursorLocation(CursorLocationEnum location) override {
    if (location < adUseNone || location > adUseClient) return RaiseInvalidArgument(kSource);
    cursorLocation_ = location;
    return S_OK;
  }
  STDMETHODIMP get_State(LONG* state) override {
    if (state == nullptr) return E_POINTER;
    *state = IsOpen() ? adStateOpen : adStateClosed;
    return S_OK;
  }
  STDMETHODIMP get_Errors(ADOErrors** errors) override { return CreateErrorsCollection(errors_, errors); }
  STDMETHODIMP Open(BSTR connectionString, BSTR userId, BSTR password, LONG options) override;
  STDMETHODIMP Close() override {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    session_->Close();
    session_.reset();
    return S_OK;
  }
  STDMETHODIMP Execute(BSTR text, VARIANT* recordsAffected, LONG options, _Recordset** recordset) override;
  STDMETHODIMP BeginTrans(LONG* level) override {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    const HRESULT result = session_->SetAutoCommit(false);
    if (SUCCEEDED(result) && level != nullptr) *level = 1;
    return result;
  }
  STDMETHODIMP CommitTrans() override { return EndTransaction(SQL_COMMIT); }
  STDMETHODIMP RollbackTrans() override { return EndTransaction(SQL_ROLLBACK); }

  HRESULT Session(std::shared_ptr<OdbcSession>* session) const {
    if (!IsOpen()) return RaiseAdo(adErrInvalidConnection, kSource);
    *session = session_;
    return S_OK;
  }

 private:
  bool IsOpen() const { return session_ && session_->IsOpen(); }
  HRESULT EndTransaction(SQLSMALLINT completion) {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    const HRESULT ended = session_->EndTransaction(completion);
    if (FAILED(ended)) return ended;
    return session_->SetAutoCommit(true);
  }

  std::wstring connectionString_;
  LONG timeout_ = kDefaultTimeout;
  CursorLocationEnum cursorLocation_ = adUseServer;
  std::shared_ptr<ErrorList> errors_;
  std::shared_ptr<OdbcSession> session_;
};

std::wstring Text(BSTR text) { return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text)); }

STDMETHODIMP Connection::Open(BSTR connectionString, BSTR userId, BSTR password, LONG) {
  if (IsOpen()) return RaiseAdo(adErrObjectOpen, kSource);
  return Guarded([&] {
    if (SysStringLen(connectionString) != 0) connectionString_ = Text(connectionString);
    errors_->clear();
    OdbcConnectionTarget target;
    HRESULT result = TranslateConnectionString(connectionString_, &target);
    if (FAILED(result)) return result;
    if (SysStringLen(userId) != 0) target.odbcString += L";UID=" + Text(userId);
    if (SysStringLen(password) != 0) target.odbcString += L";PWD=" + Text(password);
    return OdbcSession::Open(target, timeout_, errors_, &session_);
  });
}

STDMETHODIMP Connection::Execute(BSTR text, VARIANT* recordsAffected, LONG options, _Recordset** recordset) {
  if (recordset != nullptr) *recordset = nullptr;
  if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
  return Guarded([&] {
    const bool wantRows = recordset != nullptr && (options == adOptionUnspecified || (options & adExecuteNoRecords) == 0);
    ExecutionResult result;
    const HRESULT outcome = ExecuteText(session_, Text(text), wantRows, &result);
    if (FAILED(outcome)) return outcome;
    if (recordsAffected != nullptr) {
      VariantClear(recordsAffected);
      recordsAffected->vt = VT_I4;
      recordsAffected->lVal = result.recordsAffected;
    }
    return wantRows ? CreateRecordsetOver(std::move(result), recordset) : S_OK;
  });
}

}  // namespace

HRESULT SessionOf(IUnknown* object, std::shared_ptr<OdbcSession>* session) {
  const Connection* connection = dynamic_cast<Connection*>(object);
  if (connection == nullptr) return RaiseAdo(adErrInvalidConnection, kSource);
  return connection->Session(session);
}

HRESULT CreateConnection(IUnknown*, REFIID iid, void** object) {
  return Guarded([&] { return HandOutNew(new Connection(), iid, object); });
}

}  // namespace kcm::ado
