#include "OdbcSession.h"

#include <wchar.h>

#include "OdbcText.h"

namespace kcm::ado {

namespace {

// One ODBC 3 environment for the process, made on first use and kept.
SQLHENV Environment() {
  static const SQLHENV environment = []() -> SQLHENV {
    SQLHENV handle = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) return SQL_NULL_HENV;
    SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return handle;
  }();
  return environment;
}

}  // namespace

HRESULT OdbcSession::Open(const OdbcConnectionTarget& target, LONG defaultTimeout, std::shared_ptr<ErrorList> errors,
                          std::shared_ptr<OdbcSession>* session) {
  const SQLHENV environment = Environment();
  SQLHDBC connection = SQL_NULL_HDBC;
  if (environment == SQL_NULL_HENV || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
    return RaiseProviderErrors(ReadDiagnostics(SQL_HANDLE_ENV, environment, target.provider), errors.get(),
                               L"SQLAllocHandle");
  }
  const LONG timeout = target.loginTimeout >= 0 ? target.loginTimeout : defaultTimeout;
  SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);
  OdbcString text = ToOdbc(target.odbcString);
  const SQLRETURN result = SQLDriverConnectW(connection, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()),
                                            nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(result)) {
    const HRESULT failure = RaiseProviderErrors(ReadDiagnostics(SQL_HANDLE_DBC, connection, target.provider),
                                                errors.get(), L"SQLDriverConnect");
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
    return failure;
  }
  session->reset(new OdbcSession(connection, std::move(errors), target.provider));
  (*session)->ReadDriverInfo();
  return S_OK;
}

OdbcSession::OdbcSession(SQLHDBC connection, std::shared_ptr<ErrorList> errors, std::wstring provider)
    : connection_(connection), errors_(std::move(errors)), provider_(std::move(provider)) {}

OdbcSession::~OdbcSession() { Close(); }

void OdbcSession::ReadDriverInfo() {
  SQLUINTEGER extensions = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(connection_, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr))) {
    const SQLUINTEGER needed = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND;
    mixBoundAndGetData_ = (extensions & needed) == needed;
  }
  SQLWCHAR name[64] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(connection_, SQL_DBMS_NAME, name, sizeof name, &length))) return;
  const std::wstring dbms = FromOdbc(name, std::min<size_t>(length / sizeof(SQLWCHAR), 63));
  postgreSql_ = wcscasecmp(dbms.c_str(), L"PostgreSQL") == 0;
  sqlite_ = wcsncasecmp(dbms.c_str(), L"SQLite", 6) == 0;
}

void OdbcSession::Close() {
  if (connection_ == SQL_NULL_HDBC) return;
  std::set<OdbcStatement*> statements;
  {
    std::lock_guard<std::mutex> guard(statementsLock_);
    statements.swap(statements_);
  }
  for (OdbcStatement* statement : statements) statement->Free();
  SQLDisconnect(connection_);
  SQLFreeHandle(SQL_HANDLE_DBC, connection_);
  connection_ = SQL_NULL_HDBC;
}

HRESULT OdbcSession::Fail(SQLSMALLINT handleType, SQLHANDLE handle, const wchar_t* what) {
  return RaiseProviderErrors(ReadDiagnostics(handleType, handle, provider_), errors_.get(), what);
}

HRESULT OdbcSession::EndTransaction(SQLSMALLINT completion) {
  if (!IsOpen()) return RaiseAdo(adErrObjectClosed, L"ADODB.Connection");
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_, completion))) return Fail(SQL_HANDLE_DBC, connection_, L"SQLEndTran");
  return S_OK;
}

HRESULT OdbcSession::SetAutoCommit(bool on) {
  if (!IsOpen()) return RaiseAdo(adErrObjectClosed, L"ADODB.Connection");
  const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(connection_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0))) {
    return Fail(SQL_HANDLE_DBC, connection_, L"SQLSetConnectAttr");
  }
  return S_OK;
}

void OdbcSession::Attach(OdbcStatement* statement) {
  std::lock_guard<std::mutex> guard(statementsLock_);
  statements_.insert(statement);
}

void OdbcSession::Detach(OdbcStatement* statement) {
  std::lock_guard<std::mutex> guard(statementsLock_);
  statements_.erase(statement);
}

OdbcStatement::OdbcStatement(std::shared_ptr<OdbcSession> session) : session_(std::move(session)) {}

OdbcStatement::~OdbcStatement() {
  if (handle_ == SQL_NULL_HSTMT) return;
  session_->Detach(this);
  Free();
}

HRESULT OdbcStatement::Allocate() {
  if (!session_->IsOpen()) return RaiseAdo(adErrInvalidConnection, L"ADODB.Command");
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, session_->Handle(), &handle_))) {
    handle_ = SQL_NULL_HSTMT;
    return session_->Fail(SQL_HANDLE_DBC, session_->Handle(), L"SQLAllocHandle");
  }
  session_->Attach(this);
  return S_OK;
}

void OdbcStatement::Free() {
  if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  handle_ = SQL_NULL_HSTMT;
}

}  // namespace kcm::ado
