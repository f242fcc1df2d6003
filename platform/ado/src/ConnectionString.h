// OLE DB connection strings translated into ODBC ones (see adoint.h for the providers).
#pragma once

#include <string>

#include "adoint.h"

namespace kcm::ado {

struct OdbcConnectionTarget {
  std::wstring odbcString;
  std::wstring provider;   // the OLE DB provider named, or "MSDASQL" for plain ODBC strings
  LONG loginTimeout = -1;  // seconds from "Connect Timeout"; -1 when the string has none
};

// S_OK, adErrProviderNotFound for a provider we do not stand in for, or E_INVALIDARG for
// a string that does not parse as "key=value;…". Errors are raised (thread error info).
HRESULT TranslateConnectionString(const std::wstring& text, OdbcConnectionTarget* target);

}  // namespace kcm::ado
