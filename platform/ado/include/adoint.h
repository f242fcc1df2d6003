// ADO (ActiveX Data Objects) for this platform: Connection, Command, Recordset with
// their Parameters, Fields and Errors collections, over ODBC (libKestroAdo.so).
//
// Create the three classes with CoCreateInstance (CLSID_Connection, CLSID_Command,
// CLSID_Recordset; the library registers them when it loads). Calls answer HRESULTs; a
// failing call leaves error information on the thread (GetErrorInfo) and, for provider
// errors, one ADOError per driver diagnostic in the connection's Errors collection, so
// that raising wrappers (comdef.h, _com_issue_errorex) throw a _com_error whose
// Description is the driver's message.
//
// Providers. Connection.Open takes an OLE DB connection string and translates it:
//   Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>  → the SQLite3 ODBC driver on
//       that file, which must exist (an empty file is an empty database);
//   Provider=SQLOLEDB[.1];Data Source=<server>[\<instance>][,<port>];Initial Catalog=…;
//       User ID=…;Password=…;Connect Timeout=…  → the FreeTDS driver (TDS 7.4);
//   Provider=MSDASQL;<ODBC string>, or any string without a Provider  → handed to the
//       ODBC driver manager as it stands ("Driver={PostgreSQL Unicode};Server=…"; for
//       psqlODBC "UseServerSidePrepare=0" is added unless the string sets it, since its
//       server-side prepare cannot describe the parameters of a call escape).
// Another provider fails with adErrProviderNotFound. Keys are matched without regard
// to case or the blanks around them.
//
// Cursors are client-side whatever CursorLocation says: Recordset.Open and Execute fetch
// every row of the result at once, so RecordCount is exact and MoveFirst works.
// Stored procedures (adCmdStoredProc) run as the ODBC call escape "{? = call name(?, …)}"
// when the first parameter is the return value, else "{call name(?, …)}"; on PostgreSQL
// a command without a return value runs as "CALL name(?, …)" (procedures, not
// functions). adCmdText commands bind their parameters to the "?" markers in order.
//
// Error numbers: driver diagnostics whose SQLSTATE says the connection failed or was
// lost (class 08, 57P01-57P03, HYT01) carry E_FAIL; other driver diagnostics carry
// DISP_E_EXCEPTION; ADO's own errors carry 0x800A0000 | adErr….
//
// One object serves one thread at a time; COM must be initialised on it to create them.
#pragma once

#include "oaidl.h"
#include "objbase.h"
#include "oleauto.h"

// ---- enumerations ---------------------------------------------------------------------

typedef enum DataTypeEnum {
  adEmpty = 0, adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5, adCurrency = 6, adDate = 7, adBSTR = 8,
  adIDispatch = 9, adError = 10, adBoolean = 11, adVariant = 12, adIUnknown = 13, adDecimal = 14, adTinyInt = 16,
  adUnsignedTinyInt = 17, adUnsignedSmallInt = 18, adUnsignedInt = 19, adBigInt = 20, adUnsignedBigInt = 21,
  adFileTime = 64, adGUID = 72, adBinary = 128, adChar = 129, adWChar = 130, adNumeric = 131, adUserDefined = 132,
  adDBDate = 133, adDBTime = 134, adDBTimeStamp = 135, adChapter = 136, adPropVariant = 138, adVarNumeric = 139,
  adVarChar = 200, adLongVarChar = 201, adVarWChar = 202, adLongVarWChar = 203, adVarBinary = 204,
  adLongVarBinary = 205, adArray = 0x2000
} DataTypeEnum;

typedef enum ParameterDirectionEnum {
  adParamUnknown = 0, adParamInput = 1, adParamOutput = 2, adParamInputOutput = 3, adParamReturnValue = 4
} ParameterDirectionEnum;

typedef enum CursorLocationEnum { adUseNone = 1, adUseServer = 2, adUseClient = 3, adUseClientBatch = 3 } CursorLocationEnum;

typedef enum CommandTypeEnum {
  adCmdUnspecified = -1, adCmdText = 1, adCmdTable = 2, adCmdStoredProc = 4, adCmdUnknown = 8, adCmdFile = 0x100,
  adCmdTableDirect = 0x200
} CommandTypeEnum;

typedef enum ExecuteOptionEnum {
  adOptionUnspecified = -1, adAsyncExecute = 0x10, adAsyncFetch = 0x20, adAsyncFetchNonBlocking = 0x40,
  adExecuteNoRecords = 0x80, adExecuteStream = 0x400, adExecuteRecord = 0x800
} ExecuteOptionEnum;

typedef enum ObjectStateEnum {
  adStateClosed = 0, adStateOpen = 1, adStateConnecting = 2, adStateExecuting = 4, adStateFetching = 8
} ObjectStateEnum;

typedef enum CursorTypeEnum {
  adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3
} CursorTypeEnum;

typedef enum LockTypeEnum {
  adLockUnspecified = -1, adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3, adLockBatchOptimistic = 4
} LockTypeEnum;

typedef enum ConnectOptionEnum { adConnectUnspecified = -1, adAsyncConnect = 0x10 } ConnectOptionEnum;

typedef enum ParameterAttributesEnum { adParamSigned = 0x10, adParamNullable = 0x40, adParamLong = 0x80 } ParameterAttributesEnum;

typedef enum ErrorValueEnum {
  adErrNoCurrentRecord = 3021, adErrItemNotFound = 3265, adErrObjectClosed = 3704, adErrObjectOpen = 3705,
  adErrProviderNotFound = 3706, adErrInvalidConnection = 3709, adErrStillExecuting = 3711,
  adErrStillConnecting = 3713
} ErrorValueEnum;

// The HRESULT of an ADO error number (FACILITY_CONTROL).
#define ADO_ERROR_HRESULT(number) ((HRESULT)(0x800A0000u | (unsigned)(number)))

typedef LONG_PTR ADO_LONGPTR;

// ---- identifiers (the ADO 2.x set) ------------------------------------------------------

DEFINE_GUID(CLSID_Connection, 0x00000514, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(CLSID_Command, 0x00000507, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(CLSID_Recordset, 0x00000535, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(CLSID_Parameter, 0x0000050B, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID__Connection, 0x00000550, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID__Command, 0xB08400BD, 0xF9D1, 0x4D02, 0xB8, 0x56, 0x71, 0xD5, 0xDB, 0xA1, 0x23, 0xE9);
DEFINE_GUID(IID__Recordset, 0x00000556, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID__Parameter, 0x0000050C, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID_Parameters, 0x0000050D, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID_Fields, 0x00000564, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID_Field, 0x00000569, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID_Errors, 0x00000501, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);
DEFINE_GUID(IID_Error, 0x00000500, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4);

// ---- interfaces -------------------------------------------------------------------------
// Collections take an index VARIANT: a number (0-based ordinal) or a name (VT_BSTR,
// compared without regard to case). Out pointers receive one reference.

struct ADOError : public IDispatch {
  STDMETHOD(get_Number)(LONG* number) PURE;
  STDMETHOD(get_Source)(BSTR* source) PURE;
  STDMETHOD(get_Description)(BSTR* description) PURE;
  STDMETHOD(get_SQLState)(BSTR* state) PURE;
  STDMETHOD(get_NativeError)(LONG* nativeError) PURE;
};

struct ADOErrors : public IDispatch {
  STDMETHOD(get_Count)(LONG* count) PURE;
  STDMETHOD(get_Item)(VARIANT index, ADOError** error) PURE;
  STDMETHOD(Clear)() PURE;
};

struct _Parameter : public IDispatch {
  STDMETHOD(get_Name)(BSTR* name) PURE;
  STDMETHOD(put_Name)(BSTR name) PURE;
  STDMETHOD(get_Value)(VARIANT* value) PURE;
  STDMETHOD(put_Value)(VARIANT value) PURE;
  STDMETHOD(get_Type)(DataTypeEnum* type) PURE;
  STDMETHOD(put_Type)(DataTypeEnum type) PURE;
  STDMETHOD(get_Direction)(ParameterDirectionEnum* direction) PURE;
  STDMETHOD(put_Direction)(ParameterDirectionEnum direction) PURE;
  STDMETHOD(get_Size)(ADO_LONGPTR* size) PURE;
  STDMETHOD(put_Size)(ADO_LONGPTR size) PURE;
  STDMETHOD(get_Precision)(BYTE* precision) PURE;
  STDMETHOD(put_Precision)(BYTE precision) PURE;
  STDMETHOD(get_NumericScale)(BYTE* scale) PURE;
  STDMETHOD(put_NumericScale)(BYTE scale) PURE;
};

struct ADOParameters : public IDispatch {
  STDMETHOD(get_Count)(LONG* count) PURE;
  STDMETHOD(get_Item)(VARIANT index, _Parameter** parameter) PURE;
  // Takes a _Parameter made by CreateParameter (an IDispatch, as ADO declares it).
  STDMETHOD(Append)(IDispatch* parameter) PURE;
  STDMETHOD(Delete)(VARIANT index) PURE;
  STDMETHOD(Refresh)() PURE;  // E_NOTIMPL: parameters are described by the caller
};

struct ADOField : public IDispatch {
  STDMETHOD(get_Name)(BSTR* name) PURE;
  STDMETHOD(get_Type)(DataTypeEnum* type) PURE;
  STDMETHOD(get_DefinedSize)(ADO_LONGPTR* size) PURE;
  // Bytes of the current row's value (text: characters, two bytes each for wide
  // types); 0 for NULL.
  STDMETHOD(get_ActualSize)(ADO_LONGPTR* size) PURE;
  STDMETHOD(get_Precision)(BYTE* precision) PURE;
  STDMETHOD(get_NumericScale)(BYTE* scale) PURE;
  // The current row's value: VT_NULL for NULL; texts VT_BSTR; binaries VT_ARRAY|VT_UI1;
  // dates and times VT_DATE; exact numerics VT_DECIMAL.
  STDMETHOD(get_Value)(VARIANT* value) PURE;
};

struct ADOFields : public IDispatch {
  STDMETHOD(get_Count)(LONG* count) PURE;
  STDMETHOD(get_Item)(VARIANT index, ADOField** field) PURE;
};

struct _Recordset;

struct _Connection : public IDispatch {
  STDMETHOD(get_ConnectionString)(BSTR* text) PURE;
  STDMETHOD(put_ConnectionString)(BSTR text) PURE;
  STDMETHOD(get_ConnectionTimeout)(LONG* seconds) PURE;
  STDMETHOD(put_ConnectionTimeout)(LONG seconds) PURE;  // default 15; "Connect Timeout" in the string wins
  STDMETHOD(get_CursorLocation)(CursorLocationEnum* location) PURE;
  STDMETHOD(put_CursorLocation)(CursorLocationEnum location) PURE;
  STDMETHOD(get_State)(LONG* state) PURE;
  STDMETHOD(get_Errors)(ADOErrors** errors) PURE;
  // Null or empty `connectionString` opens the one put before.
  STDMETHOD(Open)(BSTR connectionString, BSTR userId, BSTR password, LONG options) PURE;
  STDMETHOD(Close)() PURE;
  // Runs `text`; `recordset` (may be null) receives the rows unless `options` holds
  // adExecuteNoRecords. `recordsAffected` (may be null) receives VT_I4.
  STDMETHOD(Execute)(BSTR text, VARIANT* recordsAffected, LONG options, _Recordset** recordset) PURE;
  STDMETHOD(BeginTrans)(LONG* level) PURE;
  STDMETHOD(CommitTrans)() PURE;
  STDMETHOD(RollbackTrans)() PURE;
};

struct _Command : public IDispatch {
  STDMETHOD(get_ActiveConnection)(_Connection** connection) PURE;
  STDMETHOD(putref_ActiveConnection)(_Connection* connection) PURE;
  STDMETHOD(get_CommandText)(BSTR* text) PURE;
  STDMETHOD(put_CommandText)(BSTR text) PURE;
  STDMETHOD(get_CommandType)(CommandTypeEnum* type) PURE;
  STDMETHOD(put_CommandType)(CommandTypeEnum type) PURE;
  STDMETHOD(CreateParameter)(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction, ADO_LONGPTR size,
                             VARIANT value, _Parameter** parameter) PURE;
  STDMETHOD(get_Parameters)(ADOParameters** parameters) PURE;
  // Output and return values are in the parameters afterwards. `parameters` (input
  // values by position) is not supported: pass null or a VT_ERROR missing argument.
  STDMETHOD(Execute)(VARIANT* recordsAffected, VARIANT* parameters, LONG options, _Recordset** recordset) PURE;
};

struct _Recordset : public IDispatch {
  STDMETHOD(get_State)(LONG* state) PURE;
  STDMETHOD(get_CursorLocation)(CursorLocationEnum* location) PURE;
  STDMETHOD(put_CursorLocation)(CursorLocationEnum location) PURE;
  STDMETHOD(putref_Source)(IDispatch* command) PURE;
  STDMETHOD(put_Source)(BSTR text) PURE;
  // `source`: a text (VT_BSTR), a _Command (VT_DISPATCH), or missing (VT_ERROR /
  // VT_EMPTY) for the one given to putref_Source/put_Source. `connection`: a
  // _Connection (VT_DISPATCH), or missing when the source is a command.
  STDMETHOD(Open)(VARIANT source, VARIANT connection, CursorTypeEnum cursorType, LockTypeEnum lockType,
                  LONG options) PURE;
  STDMETHOD(Close)() PURE;
  STDMETHOD(get_EOF)(VARIANT_BOOL* atEnd) PURE;
  STDMETHOD(get_BOF)(VARIANT_BOOL* atStart) PURE;
  STDMETHOD(MoveFirst)() PURE;
  STDMETHOD(MoveNext)() PURE;
  STDMETHOD(MovePrevious)() PURE;
  STDMETHOD(MoveLast)() PURE;
  STDMETHOD(get_RecordCount)(ADO_LONGPTR* count) PURE;
  STDMETHOD(get_Fields)(ADOFields** fields) PURE;
  // The next result of the same execution; *next is null when there is none.
  STDMETHOD(NextRecordset)(VARIANT* recordsAffected, _Recordset** next) PURE;
};

