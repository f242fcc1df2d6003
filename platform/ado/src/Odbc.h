// The ODBC API without its stand-ins for Windows types. unixODBC's headers declare their
// own BOOL, ULONG, WCHAR (16-bit) and the like, which clash with the platform's; they
// are kept in namespace odbc and only the SQL names are brought in.
#pragma once

#include <wchar.h>

#include <unixodbc.h>

#include "oaidl.h"

namespace odbc {
#include <sql.h>
#include <sqlext.h>
}  // namespace odbc
#undef BOOL  // unixODBC's "#define BOOL int"; the platform's BOOL is the same width

namespace kcm::ado {
using odbc::SQLBIGINT;
using odbc::SQLHANDLE;
using odbc::SQLHDBC;
using odbc::SQLHENV;
using odbc::SQLHSTMT;
using odbc::SQLINTEGER;
using odbc::SQLLEN;
using odbc::SQLPOINTER;
using odbc::SQLRETURN;
using odbc::SQLSMALLINT;
using odbc::SQLUINTEGER;
using odbc::SQLULEN;
using odbc::SQLUSMALLINT;
using odbc::SQLWCHAR;

using odbc::SQLAllocHandle;
using odbc::SQLBindCol;
using odbc::SQLBindParameter;
using odbc::SQLDescribeColW;
using odbc::SQLDisconnect;
using odbc::SQLDriverConnectW;
using odbc::SQLEndTran;
using odbc::SQLExecDirectW;
using odbc::SQLExecute;
using odbc::SQLFetch;
using odbc::SQLFreeHandle;
using odbc::SQLFreeStmt;
using odbc::SQLGetData;
using odbc::SQLGetDiagField;
using odbc::SQLGetDiagRecW;
using odbc::SQLGetInfoW;
using odbc::SQLMoreResults;
using odbc::SQLNumResultCols;
using odbc::SQLPrepareW;
using odbc::SQLRowCount;
using odbc::SQLSetConnectAttrW;
using odbc::SQLSetEnvAttr;

static_assert(sizeof(SQLWCHAR) == 2, "the ODBC wide calls take UTF-16");
}  // namespace kcm::ado
