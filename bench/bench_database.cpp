// 100,000 rows inserted with bound parameters and read back, through CDataBase and its
// ADO stand-in against the same work in plain ODBC calls, on a SQLite file in /tmp.
// Goal: our layer within 1.2x of plain ODBC.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>
#include <unixodbc.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KestroDataBase.h"
#include "KestroInterfaceIds.h"
#include "adoint.h"
#include "combaseapi.h"

// unixODBC's headers bring their own BOOL, ULONG and 16-bit WCHAR: kept in a namespace.
namespace odbc {
#include <sql.h>
#include <sqlext.h>
}  // namespace odbc
#undef BOOL
using namespace odbc;

namespace {

constexpr int kRows = 100000;
const char kFile[] = "/tmp/kcm-bench-database.db";

void FreshFile() {
  unlink(kFile);
  FILE* file = fopen(kFile, "w");
  if (file != nullptr) fclose(file);
}

std::u16string Utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The text a row carries, made the same way for both hosts (std::to_wstring formats
// through vswprintf, many times slower than std::to_string: not the layer's cost).
std::string RowName(int row) { return "name " + std::to_string(row); }

// What reading the rows back adds up: both hosts must find every row as written.
double ExpectedSum() {
  double sum = 0;
  for (int row = 0; row < kRows; ++row) sum += row + row * 0.5 + RowName(row).size();
  return sum;
}

void CheckSum(benchmark::State& state, double sum) {
  if (sum != ExpectedSum()) state.SkipWithError("the rows read back differ from the rows written");
}

// ---- through the library ------------------------------------------------------------

IDataBase* OpenLibrary() {
  IDataBase* database = static_cast<IDataBase*>(CreateDataBase(IID_IDataBase, KCM_INTERFACE_VERSION));
  database->SetJetConnectionInfo(std::wstring(kFile, kFile + sizeof kFile - 1).c_str());
  database->OpenConnection();
  return database;
}

void LibraryInsert(IDataBase* database) {
  database->ExecuteStatement(L"DROP TABLE IF EXISTS row_table; CREATE TABLE row_table (id INTEGER, name TEXT, value REAL)", false);
  database->ExecuteStatement(L"BEGIN", false);
  database->SetCommandText(L"INSERT INTO row_table VALUES (?, ?, ?)");
  VARIANT id, name, value;
  VariantInit(&id);
  VariantInit(&name);
  VariantInit(&value);
  id.vt = VT_I4;
  value.vt = VT_R8;
  for (int row = 0; row < kRows; ++row) {
    id.lVal = row;
    value.dblVal = row * 0.5;
    const std::string text = RowName(row);
    name.vt = VT_BSTR;  // again for every row: VariantClear leaves VT_EMPTY
    name.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    std::copy(text.begin(), text.end(), name.bstrVal);
    database->ClearParameters();
    database->AddParameter(L"id", adParamInput, adInteger, 4, id);
    database->AddParameter(L"name", adParamInput, adVarWChar, 32, name);
    database->AddParameter(L"value", adParamInput, adDouble, 8, value);
    database->ExecuteProcedure(false);
    VariantClear(&name);
  }
  database->ExecuteStatement(L"COMMIT", false);
}

double LibraryRead(IDataBase* database) {
  database->CloseRecordset();
  database->ExecuteStatement(L"SELECT id, name, value FROM row_table", true);
  double sum = 0;
  int id = 0;
  std::wstring name;
  double value = 0;
  for (; !database->IsRecordsetEnd(); database->MoveToNext()) {
    database->GetFieldValue(L"id", id);
    database->GetFieldValue(L"name", name);
    database->GetFieldValue(L"value", value);
    sum += id + value + name.size();
  }
  return sum;
}

// ---- plain ODBC ---------------------------------------------------------------------

struct PlainOdbc {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  PlainOdbc() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
    std::u16string text = Utf16(std::string("Driver=SQLite3;Database=") + kFile + ";NoCreat=1;");
    SQLDriverConnectW(connection, nullptr, reinterpret_cast<SQLWCHAR*>(&text[0]), SQL_NTS, nullptr, 0, nullptr,
                      SQL_DRIVER_NOPROMPT);
  }
  ~PlainOdbc() {
    SQLDisconnect(connection);
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
  }
  void Run(const char* sql) {
    SQLHSTMT statement;
    SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement);
    std::u16string text = Utf16(sql);
    SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(&text[0]), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
  }
};

void PlainInsert(PlainOdbc& odbc) {
  odbc.Run("DROP TABLE IF EXISTS row_table");
  odbc.Run("CREATE TABLE row_table (id INTEGER, name TEXT, value REAL)");
  odbc.Run("BEGIN");
  SQLHSTMT statement;
  SQLAllocHandle(SQL_HANDLE_STMT, odbc.connection, &statement);
  std::u16string sql = Utf16("INSERT INTO row_table VALUES (?, ?, ?)");
  SQLPrepareW(statement, reinterpret_cast<SQLWCHAR*>(&sql[0]), SQL_NTS);
  SQLBIGINT id = 0;
  double value = 0;
  char16_t name[32];
  SQLLEN idLength = 0, nameLength = 0, valueLength = 0;
  for (int row = 0; row < kRows; ++row) {
    id = row;
    value = row * 0.5;
    const std::u16string text = Utf16(RowName(row));
    text.copy(name, text.size());
    nameLength = static_cast<SQLLEN>(text.size() * 2);
    // Bound before each execute, as the SQLite driver needs for variable lengths.
    SQLBindParameter(statement, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_INTEGER, 0, 0, &id, 0, &idLength);
    SQLBindParameter(statement, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 32, 0, name, sizeof name, &nameLength);
    SQLBindParameter(statement, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &value, 0, &valueLength);
    SQLExecute(statement);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  odbc.Run("COMMIT");
}

double PlainRead(PlainOdbc& odbc) {
  SQLHSTMT statement;
  SQLAllocHandle(SQL_HANDLE_STMT, odbc.connection, &statement);
  std::u16string sql = Utf16("SELECT id, name, value FROM row_table");
  SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(&sql[0]), SQL_NTS);
  double sum = 0;
  while (SQLFetch(statement) != SQL_NO_DATA) {
    SQLBIGINT id = 0;
    double value = 0;
    char16_t name[256];
    SQLLEN length = 0, nameLength = 0;
    SQLGetData(statement, 1, SQL_C_SBIGINT, &id, 0, &length);
    SQLGetData(statement, 2, SQL_C_WCHAR, name, sizeof name, &nameLength);
    SQLGetData(statement, 3, SQL_C_DOUBLE, &value, 0, &length);
    sum += id + value + nameLength / 2;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  return sum;
}

// ---- benchmarks ---------------------------------------------------------------------

void BM_InsertLibrary(benchmark::State& state) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  FreshFile();
  IDataBase* database = OpenLibrary();
  for (auto _ : state) LibraryInsert(database);
  state.SetItemsProcessed(state.iterations() * kRows);  // rows per second
  database->Ex_Release();
  CoUninitialize();
}

void BM_InsertPlainOdbc(benchmark::State& state) {
  FreshFile();
  PlainOdbc odbc;
  for (auto _ : state) PlainInsert(odbc);
  state.SetItemsProcessed(state.iterations() * kRows);  // rows per second
}

void BM_ReadLibrary(benchmark::State& state) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IDataBase* database = OpenLibrary();
  double sum = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sum = LibraryRead(database));
  state.SetItemsProcessed(state.iterations() * kRows);  // rows per second
  CheckSum(state, sum);
  database->Ex_Release();
  CoUninitialize();
}

void BM_ReadPlainOdbc(benchmark::State& state) {
  PlainOdbc odbc;
  double sum = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sum = PlainRead(odbc));
  state.SetItemsProcessed(state.iterations() * kRows);  // rows per second
  CheckSum(state, sum);
}

// Reads follow an insert of either kind: both leave the same 100,000 rows.
BENCHMARK(BM_InsertPlainOdbc)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_InsertLibrary)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadPlainOdbc)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadLibrary)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
