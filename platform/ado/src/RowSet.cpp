#include "RowSet.h"

#include <sqlite3.h>
#include <string.h>

#include "OdbcText.h"

namespace kcm::ado {

namespace {

constexpr size_t kTextChunk = 2048;  // characters per SQLGetData call
constexpr size_t kBoundTextUnits = 255;  // a bound text column's room; longer ones are read again
constexpr SQLLEN kMaxReservedCells = 1 << 22;

// The rows the driver says the result has (0 when it does not say).
SQLLEN AnnouncedRowCount(OdbcStatement& statement) {
  SQLLEN rows = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, statement.Handle(), 0, SQL_DIAG_CURSOR_ROW_COUNT, &rows, 0,
                                     nullptr))) {
    return 0;
  }
  return rows;
}

// The C type a column is bound as, or 0 to read it with SQLGetData.
SQLSMALLINT BoundTypeOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return 0;
    default: return SQL_C_WCHAR;
  }
}

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
  bindings_.assign(columns_.size(), Binding());
  // Room for every row at once: growing row by row would copy and fault in the cells again and again.
  const SQLLEN rows = AnnouncedRowCount(statement);
  if (rows > 0 && rows <= kMaxReservedCells / static_cast<SQLLEN>(std::max<size_t>(columns_.size(), 1))) {
    values_.reserve(static_cast<size_t>(rows) * columns_.size());
  }
  if (!statement.Session().CanMixBoundAndGetData()) return FetchRows(statement);
  result = BindColumns(statement);
  if (SUCCEEDED(result)) result = FetchRows(statement);
  // The buffers are this row set's: the statement must not write into them later.
  SQLFreeStmt(statement.Handle(), SQL_UNBIND);
  bindings_.clear();
  return result;
}

HRESULT RowSet::BindColumns(OdbcStatement& statement) {
  size_t words = 0;
  for (size_t i = 0; i < columns_.size(); ++i) {
    Binding& binding = bindings_[i];
    binding.cType = BoundTypeOf(columns_[i].sqlType);
    if (binding.cType == 0) continue;
    binding.offset = words;
    binding.bytes = binding.cType == SQL_C_WCHAR ? (kBoundTextUnits + 1) * sizeof(SQLWCHAR) : sizeof(uint64_t);
    words += (binding.bytes + 7) / 8;
  }
  boundData_.assign(words, 0);
  for (size_t i = 0; i < columns_.size(); ++i) {
    Binding& binding = bindings_[i];
    if (binding.cType == 0) continue;
    if (!SQL_SUCCEEDED(SQLBindCol(statement.Handle(), static_cast<SQLUSMALLINT>(i + 1), binding.cType,
                                  boundData_.data() + binding.offset, binding.bytes, &binding.indicator))) {
      return statement.Fail(L"SQLBindCol");
    }
  }
  return S_OK;
}

HRESULT RowSet::FetchRows(OdbcStatement& statement) {
  HRESULT result = S_OK;
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
  const Binding& binding = bindings_[column - 1];
  if (binding.cType == cType) {
    *isNull = binding.indicator == SQL_NULL_DATA;
    memcpy(number, boundData_.data() + binding.offset, sizeof(Number));
    return S_OK;
  }
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
  const Binding& binding = bindings_[column - 1];
  const bool fits = binding.indicator >= 0 && binding.indicator <= static_cast<SQLLEN>(kBoundTextUnits * sizeof(SQLWCHAR));
  if (binding.cType == SQL_C_WCHAR && (binding.indicator == SQL_NULL_DATA || fits)) {
    if (binding.indicator == SQL_NULL_DATA) {
      value->vt = VT_NULL;
      return S_OK;
    }
    const SQLWCHAR* units = reinterpret_cast<const SQLWCHAR*>(boundData_.data() + binding.offset);
    value->bstrVal = BstrFromOdbc(units, static_cast<size_t>(binding.indicator) / sizeof(SQLWCHAR));
    if (value->bstrVal == nullptr) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
  }
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
      if (result->countRecords && SQL_SUCCEEDED(SQLRowCount(statement.Handle(), &count)) && count >= 0) {
        result->recordsAffected = std::max<LONG>(result->recordsAffected, 0) + static_cast<LONG>(count);
      }
      // SQLite runs one statement per execution: no further result, and no cursor to close.
      if (statement.Session().IsSqlite()) return S_OK;
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
