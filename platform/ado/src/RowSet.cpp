#include "RowSet.h"

#include <sqlite3.h>
#include <string.h>

#include "OdbcText.h"

namespace kcm::ado {

namespace {

constexpr size_t kTextChunk = 2048;  // characters per SQLGetData call

DataTypeEnum AdoTypeOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_CHAR: return adChar;
    case SQL_VARCHAR: return adVarChar;
    case SQL_LONGVARCHAR: return adLongVarChar;
    case SQL_WCHAR: return adWChar;
    case SQL_WVARCHAR: return adVarWChar;
    case SQL_WLONGVARCHAR: return adLongVarWChar;
    case SQL_DECIMAL: case SQL_NUMERIC: return adNumeric;
    case SQL_SMALLINT: return adSmallInt;
    case SQL_INTEGER: return adInteger;
    case SQL_REAL: return adSingle;
    case SQL_FLOAT: case SQL_DOUBLE: return adDouble;
    case SQL_BIT: return adBoolean;
    case SQL_TINYINT: return adUnsignedTinyInt;
    case SQL_BIGINT: return adBigInt;
    case SQL_BINARY: return adBinary;
    case SQL_VARBINARY: return adVarBinary;
    case SQL_LONGVARBINARY: return adLongVarBinary;
    case SQL_TYPE_DATE: case SQL_DATE: return adDBDate;
    case SQL_TYPE_TIME: case SQL_TIME: return adDBTime;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return adDBTimeStamp;
    case SQL_GUID: return adGUID;
    default: return adVarWChar;
  }
}

// Texts of exact numbers and dates become VT_DECIMAL and VT_DATE where they parse.
void Refine(DataTypeEnum type, VARIANT* value) {
  VARTYPE wanted = VT_EMPTY;
  if (type == adNumeric) wanted = VT_DECIMAL;
  if (type == adDBDate || type == adDBTime || type == adDBTimeStamp) wanted = VT_DATE;
  if (wanted != VT_EMPTY && value->vt == VT_BSTR) VariantChangeType(value, value, 0, wanted);
}

// Splits a batch where SQLite sees a complete statement (triggers keep their bodies).
std::vector<std::wstring> SplitSqliteBatch(const std::wstring& text) {
  std::vector<std::wstring> statements;
  std::wstring current;
  for (wchar_t character : text) {
    current += character;
    if (character != L';') continue;
    const OdbcString wide = ToOdbc(current);
    std::u16string utf16(wide.begin(), wide.end());
    if (sqlite3_complete16(utf16.c_str())) {
      statements.push_back(current);
      current.clear();
    }
  }
  if (current.find_first_not_of(L" \t\r\n") != std::wstring::npos) statements.push_back(current);
  return statements;
}

}  // namespace

RowSet::~RowSet() {
  for (VARIANT& value : values_) VariantClear(&value);
}

HRESULT RowSet::Describe(OdbcStatement& statement) {
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(statement.Handle(), &count))) return statement.Fail(L"SQLNumResultCols");
  for (SQLUSMALLINT column = 1; column <= count; ++column) {
    SQLWCHAR name[256];
    SQLSMALLINT nameLength = 0, nullable = 0;
    ColumnInfo info;
    if (!SQL_SUCCEEDED(SQLDescribeColW(statement.Handle(), column, name, 256, &nameLength, &info.sqlType, &info.size,
                                       &info.digits, &nullable))) {
      return statement.Fail(L"SQLDescribeCol");
    }
    info.name = FromOdbc(name, std::min<size_t>(nameLength, 255));
    info.type = AdoTypeOf(info.sqlType);
    names_.push_back(info.name);
    columns_.push_back(std::move(info));
  }
  return S_OK;
}

HRESULT RowSet::Fetch(OdbcStatement& statement) {
  HRESULT result = Describe(statement);
  if (FAILED(result)) return result;
  for (;;) {
    const SQLRETURN fetched = SQLFetch(statement.Handle());
    if (fetched == SQL_NO_DATA) return S_OK;
    if (!SQL_SUCCEEDED(fetched)) return statement.Fail(L"SQLFetch");
    for (SQLUSMALLINT column = 1; column <= columns_.size(); ++column) {
      values_.emplace_back();
      VariantInit(&values_.back());
      result = ReadCell(statement, column, &values_.back());
      if (FAILED(result)) return result;
    }
  }
}

template <class Number>
HRESULT RowSet::ReadNumber(OdbcStatement& statement, SQLUSMALLINT column, SQLSMALLINT cType, Number* number,
                           bool* isNull) {
  SQLLEN indicator = 0;
  if (!SQL_SUCCEEDED(SQLGetData(statement.Handle(), column, cType, number, sizeof(Number), &indicator))) {
    return statement.Fail(L"SQLGetData");
  }
  *isNull = indicator == SQL_NULL_DATA;
  return S_OK;
}

HRESULT RowSet::ReadCell(OdbcStatement& statement, SQLUSMALLINT column, VARIANT* value) {
  const ColumnInfo& info = columns_[column - 1];
  bool isNull = false;
  HRESULT result = S_OK;
  switch (info.sqlType) {
    case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: {
      SQLBIGINT number = 0;
      result = ReadNumber(statement, column, SQL_C_SBIGINT, &number, &isNull);
      // SQLite keeps 64-bit values in any INTEGER column: only those that fit stay VT_I4.
      const bool fits32 = number >= INT32_MIN && number <= INT32_MAX;
      if (info.sqlType == SQL_BIGINT || !fits32) {
        value->vt = VT_I8;
        value->llVal = number;
      } else if (info.sqlType == SQL_SMALLINT && number >= INT16_MIN && number <= INT16_MAX) {
        value->vt = VT_I2;
        value->iVal = static_cast<SHORT>(number);
      } else if (info.sqlType == SQL_TINYINT && number >= 0 && number <= 255) {
        value->vt = VT_UI1;
        value->bVal = static_cast<BYTE>(number);
      } else {
        value->vt = VT_I4;
        value->lVal = static_cast<LONG>(number);
      }
      break;
    }
    case SQL_BIT: {
      unsigned char bit = 0;
      result = ReadNumber(statement, column, SQL_C_BIT, &bit, &isNull);
      value->vt = VT_BOOL;
      value->boolVal = bit ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    case SQL_REAL: {
      float number = 0;
      result = ReadNumber(statement, column, SQL_C_FLOAT, &number, &isNull);
      value->vt = VT_R4;
      value->fltVal = number;
      break;
    }
    case SQL_FLOAT: case SQL_DOUBLE: {
      double number = 0;
      result = ReadNumber(statement, column, SQL_C_DOUBLE, &number, &isNull);
      value->vt = VT_R8;
      value->dblVal = number;
      break;
    }
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY:
      return ReadBinary(statement, column, value);
    default:
      result = ReadText(statement, column, value);
      if (SUCCEEDED(result)) Refine(info.type, value);
      return result;
  }
  if (isNull) value->vt = VT_NULL;
  return result;
}

HRESULT RowSet::ReadText(OdbcStatement& statement, SQLUSMALLINT column, VARIANT* value) {
  textBuffer_.resize(kTextChunk + 1);
  std::wstring& text = textValue_;
  text.clear();
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN read = SQLGetData(statement.Handle(), column, SQL_C_WCHAR, textBuffer_.data(),
                                      textBuffer_.size() * sizeof(SQLWCHAR), &indicator);
    if (read == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(read)) return statement.Fail(L"SQLGetData");
    if (indicator == SQL_NULL_DATA) {
      value->vt = VT_NULL;
      return S_OK;
    }
    const bool truncated = indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(kTextChunk * sizeof(SQLWCHAR));
    const size_t characters = truncated ? kTextChunk : static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
    AppendFromOdbc(textBuffer_.data(), characters, &text);
    if (!truncated) break;
  }
  value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (value->bstrVal == nullptr) return E_OUTOFMEMORY;
  value->vt = VT_BSTR;
  return S_OK;
}

HRESULT RowSet::ReadBinary(OdbcStatement& statement, SQLUSMALLINT column, VARIANT* value) {
  std::vector<BYTE> bytes;
  BYTE chunk[8192];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN read = SQLGetData(statement.Handle(), column, SQL_C_BINARY, chunk, sizeof chunk, &indicator);
    if (read == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(read)) return statement.Fail(L"SQLGetData");
    if (indicator == SQL_NULL_DATA) {
      value->vt = VT_NULL;
      return S_OK;
    }
    const bool truncated = indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof chunk);
    bytes.insert(bytes.end(), chunk, chunk + (truncated ? sizeof chunk : static_cast<size_t>(indicator)));
    if (!truncated) break;
  }
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  if (!bytes.empty()) memcpy(array->pvData, bytes.data(), bytes.size());
  value->vt = VT_ARRAY | VT_UI1;
  value->parray = array;
  return S_OK;
}

HRESULT CollectResults(OdbcStatement& statement, bool wantRows, ExecutionResult* result) {
  for (;;) {
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement.Handle(), &columns))) return statement.Fail(L"SQLNumResultCols");
    if (columns > 0 && wantRows) {
      auto rows = std::make_shared<RowSet>();
      const HRESULT fetched = rows->Fetch(statement);
      if (FAILED(fetched)) return fetched;
      result->rowSets.push_back(std::move(rows));
    } else if (columns == 0) {
      SQLLEN count = -1;
      if (SQL_SUCCEEDED(SQLRowCount(statement.Handle(), &count)) && count >= 0) {
        result->recordsAffected = std::max<LONG>(result->recordsAffected, 0) + static_cast<LONG>(count);
      }
    }
    const SQLRETURN more = SQLMoreResults(statement.Handle());
    if (more == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(more)) return statement.Fail(L"SQLMoreResults");
  }
  SQLFreeStmt(statement.Handle(), SQL_CLOSE);
  return S_OK;
}

HRESULT ExecuteText(const std::shared_ptr<OdbcSession>& session, const std::wstring& text, bool wantRows,
                    ExecutionResult* result) {
  const std::vector<std::wstring> statements = session->IsSqlite() ? SplitSqliteBatch(text) : std::vector<std::wstring>{text};
  for (const std::wstring& sql : statements) {
    OdbcStatement statement(session);
    HRESULT outcome = statement.Allocate();
    if (FAILED(outcome)) return outcome;
    OdbcString odbcSql = ToOdbc(sql);
    const SQLRETURN executed = SQLExecDirectW(statement.Handle(), odbcSql.data(), static_cast<SQLINTEGER>(odbcSql.size()));
    if (executed == SQL_NO_DATA) continue;  // a searched UPDATE or DELETE that touched no row
    if (!SQL_SUCCEEDED(executed)) return statement.Fail(L"SQLExecDirect");
    outcome = CollectResults(statement, wantRows, result);
    if (FAILED(outcome)) return outcome;
  }
  return S_OK;
}

}  // namespace kcm::ado
