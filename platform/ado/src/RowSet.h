// The rows of one result, fetched completely when the statement ran (a client cursor).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OdbcSession.h"

namespace kcm::ado {

struct ColumnInfo {
  std::wstring name;
  DataTypeEnum type = adVarWChar;
  SQLSMALLINT sqlType = SQL_WVARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

class RowSet {
 public:
  RowSet() = default;
  ~RowSet();
  RowSet(const RowSet&) = delete;
  RowSet& operator=(const RowSet&) = delete;

  // Describes the columns of `statement`'s current result and fetches all its rows.
  HRESULT Fetch(OdbcStatement& statement);

  const std::vector<ColumnInfo>& Columns() const { return columns_; }
  const std::vector<std::wstring>& Names() const { return names_; }
  size_t RowCount() const { return columns_.empty() ? 0 : values_.size() / columns_.size(); }
  const VARIANT& Value(size_t row, size_t column) const { return values_[row * columns_.size() + column]; }

 private:
  // A column the driver writes into at every fetch; cType 0: read with SQLGetData.
  struct Binding {
    SQLSMALLINT cType = 0;
    size_t offset = 0;  // into boundData_
    SQLLEN bytes = 0;
    SQLLEN indicator = 0;
  };

  HRESULT Describe(OdbcStatement& statement);
  // Binds the numeric and text columns, so that a row comes in one call; long texts
  // are read again with SQLGetData.
  HRESULT BindColumns(OdbcStatement& statement);
  HRESULT FetchRows(OdbcStatement& statement);
  HRESULT ReadCell(OdbcStatement& statement, SQLUSMALLINT column, VARIANT* value);
  HRESULT ReadText(OdbcStatement& statement, SQLUSMALLINT column, VARIANT* value);
  HRESULT ReadBinary(OdbcStatement& statement, SQLUSMALLINT column, VARIANT* value);
  template <class Number>
  HRESULT ReadNumber(OdbcStatement& statement, SQLUSMALLINT column, SQLSMALLINT cType, Number* number, bool* isNull);

  std::vector<ColumnInfo> columns_;
  std::vector<std::wstring> names_;
  std::vector<VARIANT> values_;  // row after row
  std::vector<Binding> bindings_;  // per column, while fetching
  std::vector<uint64_t> boundData_;
  std::vector<SQLWCHAR> textBuffer_;
  std::wstring textValue_;  // reused across cells
};

// What one execution produced: the row results in order (when rows were wanted) and the
// rows the other statements affected (-1 when none said).
struct ExecutionResult {
  std::vector<std::shared_ptr<RowSet>> rowSets;
  LONG recordsAffected = -1;
  bool countRecords = true;  // false: nobody reads recordsAffected, so it is not asked for
};

// Walks every result of the executed `statement`, keeping rows when `wantRows`, and
// closes its cursor.
HRESULT CollectResults(OdbcStatement& statement, bool wantRows, ExecutionResult* result);

// Runs SQL text directly. SQLite runs one statement per call, so a batch is split into
// its statements there and their results joined.
HRESULT ExecuteText(const std::shared_ptr<OdbcSession>& session, const std::wstring& text, bool wantRows,
                    ExecutionResult* result);

}  // namespace kcm::ado
