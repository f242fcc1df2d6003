// One open ODBC connection, shared by the Connection, the Commands and Recordsets that
// use it. Closing it frees every statement still open on it first.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "AdoErrors.h"
#include "Odbc.h"
#include "ConnectionString.h"

namespace kcm::ado {

class OdbcStatement;

class OdbcSession : public std::enable_shared_from_this<OdbcSession> {
 public:
  // Connects; on failure raises the driver's diagnostics (also into `errors`).
  static HRESULT Open(const OdbcConnectionTarget& target, LONG defaultTimeout, std::shared_ptr<ErrorList> errors,
                      std::shared_ptr<OdbcSession>* session);
  ~OdbcSession();
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;

  void Close();
  bool IsOpen() const { return connection_ != SQL_NULL_HDBC; }
  SQLHDBC Handle() const { return connection_; }
  bool IsPostgreSql() const { return postgreSql_; }
  bool IsSqlite() const { return sqlite_; }
  // Whether SQLGetData works on any column, in any order, and on bound columns too: then
  // a result's columns can be bound and the odd long value still read in pieces.
  bool CanMixBoundAndGetData() const { return mixBoundAndGetData_; }
  // Raises the diagnostics of `handle` into the connection's Errors collection.
  HRESULT Fail(SQLSMALLINT handleType, SQLHANDLE handle, const wchar_t* what);
  HRESULT EndTransaction(SQLSMALLINT completion);
  HRESULT SetAutoCommit(bool on);

 private:
  friend class OdbcStatement;
  OdbcSession(SQLHDBC connection, std::shared_ptr<ErrorList> errors, std::wstring provider);
  void Attach(OdbcStatement* statement);
  void Detach(OdbcStatement* statement);
  void ReadDriverInfo();

  SQLHDBC connection_;
  std::shared_ptr<ErrorList> errors_;
  const std::wstring provider_;
  bool postgreSql_ = false;
  bool sqlite_ = false;
  bool mixBoundAndGetData_ = false;
  std::mutex statementsLock_;  // guards statements_
  std::set<OdbcStatement*> statements_;
};

// A statement handle of a session; it becomes invalid when the session closes.
class OdbcStatement {
 public:
  explicit OdbcStatement(std::shared_ptr<OdbcSession> session);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  // The allocated handle, or SQL_NULL_HSTMT (and raised errors) when that failed.
  HRESULT Allocate();
  SQLHSTMT Handle() const { return handle_; }
  OdbcSession& Session() const { return *session_; }
  const std::shared_ptr<OdbcSession>& SharedSession() const { return session_; }
  HRESULT Fail(const wchar_t* what) { return session_->Fail(SQL_HANDLE_STMT, handle_, what); }

 private:
  friend class OdbcSession;
  void Free();

  std::shared_ptr<OdbcSession> session_;
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

}  // namespace kcm::ado
