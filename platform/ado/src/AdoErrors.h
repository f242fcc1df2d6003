// Error reporting of the ADO objects: the records of one failure, the connection's
// Errors collection, and the error information left on the thread.
#pragma once

#include "Odbc.h"

#include <memory>
#include <string>
#include <vector>

#include "AdoObject.h"

namespace kcm::ado {

struct ErrorRecord {
  HRESULT number = E_FAIL;
  std::wstring description;
  std::wstring source;
  std::wstring sqlState;
  LONG nativeError = 0;
};

// The contents of a connection's Errors collection, shared with the objects that use the
// connection: each provider failure replaces them.
typedef std::vector<ErrorRecord> ErrorList;

// The diagnostics of an ODBC handle, each with the number its SQLSTATE calls for.
std::vector<ErrorRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const std::wstring& source);

// Leaves `record` as the thread's error information and answers its number.
HRESULT Raise(const ErrorRecord& record);
// An error of ADO itself (not of a provider), with ADO's text: `source` is the object's
// name, "ADODB.Recordset" and the like.
HRESULT RaiseAdo(ErrorValueEnum number, const wchar_t* source);
// A bad argument: E_INVALIDARG with ADO's text.
HRESULT RaiseInvalidArgument(const wchar_t* source);
// Provider errors: they replace `list` (when given) and the first one is raised. An empty
// set raises a general failure naming `fallback`.
HRESULT RaiseProviderErrors(std::vector<ErrorRecord> records, ErrorList* list, const wchar_t* fallback);

// The Errors collection object of a connection.
HRESULT CreateErrorsCollection(std::shared_ptr<ErrorList> list, ADOErrors** errors);

// A collection index: a 0-based ordinal or, for VT_BSTR, a name. -1 when it names
// nothing among `names` (compared without regard to case).
long IndexOf(const VARIANT& index, size_t count, const std::vector<std::wstring>* names);

}  // namespace kcm::ado
