// Database access: one connection through ADO, statements and stored procedures with
// parameters, and typed readers of the current row's fields.
//
// Obtain an IDataBase from CreateDataBase(IID_IDataBase, KCM_INTERFACE_VERSION) and
// give it back with Ex_Release. COM must be initialised on the calling thread; one
// object serves one thread. Every failure is thrown as IADOError* (the object's own
// error object: do not release it): GetErrorType() is 1 for a lost connection that was
// not re-established, 2 for any other failure; GetErrorDescribe() is the driver's text.
//
// On Linux the ADO objects are libKestroAdo.so's, over ODBC: the Jet connection string
// opens the file with the SQLite3 driver (the file must exist; an empty file is an empty
// database), the SQL Server string goes to FreeTDS, and SetConnectionString (slot 17)
// takes any ODBC connection string ("Driver={PostgreSQL Unicode};Server=…;Port=…;
// Database=…;UID=…;PWD=…;"). The stored and reported connection string is always the
// one built here.
#pragma once

#include <string>

#include "KestroExport.h"
#include "KestroUnknownEx.h"
#include "oaidl.h"

class _com_error;
struct _Command;
struct _Recordset;
struct _Connection;

class IADOError : public IUnknownEx {
 public:
  virtual const wchar_t* GetErrorDescribe() = 0;
  virtual int GetErrorType() = 0;  // 1: lost connection not re-established; 2: any other failure

 protected:
  ~IADOError() = default;
};

class IDataBase : public IUnknownEx {
 public:
  virtual bool OpenConnection() = 0;                                          // 4
  virtual bool CloseRecordset() = 0;                                          // 5
  virtual bool CloseConnection() = 0;                                         // 6
  // The reconnect policy: reconnects when forced, when the last decision was less than
  // 10 s ago, or after more than 10 decisions since the last open; otherwise throws
  // the error object with type 1 when `error` is given, and answers false.
  virtual bool TryConnectAgain(bool force, _com_error* error) = 0;            // 7
  virtual bool SetJetConnectionInfo(const wchar_t* file) = 0;                 // 8
  virtual bool SetSQLConnectionInfo(const wchar_t* server, const wchar_t* instance, unsigned short port,
                                    const wchar_t* database, const wchar_t* user,
                                    const wchar_t* password) = 0;             // 9
  virtual bool IsConnectionError() = 0;                                       // 10
  virtual bool IsRecordsetOpened() = 0;                                       // 11
  virtual void MoveToNext() = 0;                                              // 12
  virtual void MoveToFirst() = 0;                                             // 13
  virtual bool IsRecordsetEnd() = 0;                                          // 14
  virtual long GetRecordCount() = 0;                                          // 15
  virtual long GetFieldSize(const wchar_t* name) = 0;                         // 16
  // Any ODBC connection string, stored as the connection string; true.
  virtual bool SetConnectionString(const wchar_t* connectionString) = 0;     // 17
  virtual bool NextRecordset() = 0;                                           // 18
  // Field readers: true, the value stored; an empty or NULL field stores 0 (false, an
  // empty string). Values of other types are converted as VariantChangeType converts
  // them (numbers rounded half to even; text parsed); one that does not fit the out type
  // is thrown as type 2. Integers keep the widths the Windows types had: the 32-bit
  // readers (unsigned long, int, unsigned int, long, ULONG*) take 32-bit values.
  virtual bool GetFieldValue(const wchar_t* name, std::wstring& value) = 0;   // 19
  virtual bool GetFieldValue(const wchar_t* name, unsigned long& value) = 0;  // 20: VT_UI4
  virtual bool GetFieldValue(const wchar_t* name, bool& value) = 0;           // 21
  // At most size - 1 characters and a terminator; size <= 0 stores nothing.
  virtual bool GetFieldValue(const wchar_t* name, wchar_t* value, int size) = 0;  // 22
  virtual bool GetFieldValue(const wchar_t* name, long long& value) = 0;           // 23: signed
  virtual bool GetFieldValue(const wchar_t* name, unsigned long long& value) = 0;  // 24: unsigned
  virtual bool GetFieldValue(const wchar_t* name, double& value) = 0;              // 25
  virtual bool GetFieldValue(const wchar_t* name, int& value) = 0;                 // 26: signed
  virtual bool GetFieldValue(const wchar_t* name, unsigned int& value) = 0;        // 27: unsigned
  virtual bool GetFieldValue(const wchar_t* name, long& value) = 0;                // 28: signed 32-bit
  virtual bool GetFieldValue(const wchar_t* name, ULONG* value) = 0;               // 29: unsigned; null refused
  virtual bool GetFieldValue(const wchar_t* name, short& value) = 0;               // 30: signed
  virtual bool GetFieldValue(const wchar_t* name, unsigned short& value) = 0;      // 31: unsigned
  // 0 for empty and NULL, the low byte of integers, 1 or 0 for booleans.
  virtual bool GetFieldValue(const wchar_t* name, unsigned char& value) = 0;       // 32
  virtual void SetProcedureName(const wchar_t* name) = 0;                          // 33
  // ADO's CreateParameter takes (name, type, direction, size, value); this takes
  // direction before type.
  virtual void AddParameter(const wchar_t* name, long direction, long type, long size, const VARIANT& value) = 0;  // 34
  virtual void AddDecimalParameter(const wchar_t* name, long direction, const DECIMAL& value,
                                   unsigned char precision, unsigned char scale) = 0;  // 35
  // The command becomes SQL text (adCmdText) whose "?" markers take the parameters in
  // the order they were added; ExecuteProcedure runs it. SetProcedureName makes it a
  // stored procedure again.
  virtual void SetCommandText(const wchar_t* sql) = 0;                              // 36
  virtual void ClearParameters() = 0;                                               // 37
  virtual void GetParameterValue(const wchar_t* name, VARIANT* value) = 0;          // 38
  virtual long GetReturnValue() = 0;                                                // 39
  virtual bool ExecuteStatement(const wchar_t* sql, bool withRecordset) = 0;        // 40
  virtual bool ExecuteProcedure(bool withRecordset) = 0;                            // 41

 protected:
  ~IDataBase() = default;
};

class KCM_API CADOError : public IADOError {
 public:
  CADOError();
  bool Ex_IsValid() override;
  bool Ex_Release() override;
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override;
  const wchar_t* GetErrorDescribe() override;
  int GetErrorType() override;
  virtual ~CADOError();

  void SetError(int type, const std::wstring& description);

 private:
  int32_t m_errorType;
  std::wstring m_description;
};

class KCM_API CDataBase : public IDataBase {
 public:
  // Throws when an ADO object cannot be created (CreateDataBase answers null then).
  CDataBase();
  CDataBase(const CDataBase&) = delete;
  CDataBase& operator=(const CDataBase&) = delete;

  bool Ex_IsValid() override;
  bool Ex_Release() override;
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override;
  bool OpenConnection() override;
  bool CloseRecordset() override;
  bool CloseConnection() override;
  bool TryConnectAgain(bool force, _com_error* error) override;
  bool SetJetConnectionInfo(const wchar_t* file) override;
  bool SetSQLConnectionInfo(const wchar_t* server, const wchar_t* instance, unsigned short port,
                            const wchar_t* database, const wchar_t* user, const wchar_t* password) override;
  bool IsConnectionError() override;
  bool IsRecordsetOpened() override;
  void MoveToNext() override;
  void MoveToFirst() override;
  bool IsRecordsetEnd() override;
  long GetRecordCount() override;
  long GetFieldSize(const wchar_t* name) override;
  bool SetConnectionString(const wchar_t* connectionString) override;
  bool NextRecordset() override;
  bool GetFieldValue(const wchar_t* name, std::wstring& value) override;
  bool GetFieldValue(const wchar_t* name, unsigned long& value) override;
  bool GetFieldValue(const wchar_t* name, bool& value) override;
  bool GetFieldValue(const wchar_t* name, wchar_t* value, int size) override;
  bool GetFieldValue(const wchar_t* name, long long& value) override;
  bool GetFieldValue(const wchar_t* name, unsigned long long& value) override;
  bool GetFieldValue(const wchar_t* name, double& value) override;
  bool GetFieldValue(const wchar_t* name, int& value) override;
  bool GetFieldValue(const wchar_t* name, unsigned int& value) override;
  bool GetFieldValue(const wchar_t* name, long& value) override;
  bool GetFieldValue(const wchar_t* name, ULONG* value) override;
  bool GetFieldValue(const wchar_t* name, short& value) override;
  bool GetFieldValue(const wchar_t* name, unsigned short& value) override;
  bool GetFieldValue(const wchar_t* name, unsigned char& value) override;
  void SetProcedureName(const wchar_t* name) override;
  void AddParameter(const wchar_t* name, long direction, long type, long size, const VARIANT& value) override;
  void AddDecimalParameter(const wchar_t* name, long direction, const DECIMAL& value, unsigned char precision,
                           unsigned char scale) override;
  void SetCommandText(const wchar_t* sql) override;
  void ClearParameters() override;
  void GetParameterValue(const wchar_t* name, VARIANT* value) override;
  long GetReturnValue() override;
  bool ExecuteStatement(const wchar_t* sql, bool withRecordset) override;
  bool ExecuteProcedure(bool withRecordset) override;
  virtual ~CDataBase();

  // The connection string the last Set…ConnectionInfo/SetConnectionString built.
  const std::wstring& ConnectionString() const { return m_connectionString; }

 private:
  [[noreturn]] void ThrowError(const _com_error& error, int type);
  [[noreturn]] void ThrowExecutionError(const _com_error& error);
  bool OnExecutionFailure(_com_error& error);
  // Reads field `name` of the current row into a VARIANT the caller clears.
  void ReadField(const wchar_t* name, VARIANT* value);
  // Reads field `name` converted to `type`; false (nothing stored) for empty and NULL.
  bool ReadConverted(const wchar_t* name, VARTYPE type, VARIANT* value);
  template <class Value>
  bool ReadInteger(const wchar_t* name, VARTYPE type, Value* value);

  CADOError m_error;
  std::wstring m_connectionString;
  std::wstring m_lastError;
  uint32_t m_reconnectCount;
  uint32_t m_lastReconnectTime;
  uint32_t m_reconnectLimit;
  uint32_t m_reconnectInterval;
  _Command* m_command;
  _Recordset* m_recordset;
  _Connection* m_connection;
};

extern "C" KCM_API void* CreateDataBase(const GUID& iid, unsigned long version);
