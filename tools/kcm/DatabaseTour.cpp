// Tour step "db": without arguments it creates a SQLite database, fills it through
// bound parameters and reads it back with the typed readers; `kcm db "<sql>" [target]`
// runs one statement against a SQLite file (kcm.db by default) or any connection string
// and prints the rows as a table.
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "KestroCommonModule.h"
#include "Tour.h"
#include "adoint.h"
#include "comdef.h"

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const size_t length = mbstowcs(&wide[0], text.c_str(), wide.size());
  wide.resize(length == static_cast<size_t>(-1) ? 0 : length);
  return wide;
}

// A file name becomes the Jet string (the file made empty first when missing); text
// holding '=' is a connection string already.
std::wstring ConnectionStringFor(const std::string& target) {
  if (target.find('=') != std::string::npos) return Wide(target);
  if (access(target.c_str(), F_OK) != 0) {
    FILE* file = fopen(target.c_str(), "w");
    if (file != nullptr) fclose(file);
  }
  return L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + Wide(target);
}

void Check(HRESULT result) {
  if (FAILED(result)) _com_issue_errorex(result, nullptr, IID_NULL);
}

std::wstring CellText(ADOFields* fields, LONG column) {
  VARIANT index;
  index.vt = VT_I4;
  index.lVal = column;
  ADOField* field = nullptr;
  Check(fields->get_Item(index, &field));
  VARIANT value;
  VariantInit(&value);
  const HRESULT read = field->get_Value(&value);
  field->Release();
  Check(read);
  if (value.vt == VT_NULL) return L"NULL";
  VariantChangeType(&value, &value, VARIANT_ALPHABOOL, VT_BSTR);
  std::wstring text = value.vt == VT_BSTR ? std::wstring(value.bstrVal) : L"?";
  VariantClear(&value);
  return text;
}

void PrintTable(_Recordset* recordset) {
  ADOFields* fields = nullptr;
  Check(recordset->get_Fields(&fields));
  LONG columns = 0;
  fields->get_Count(&columns);
  std::vector<std::vector<std::wstring>> rows(1);
  for (LONG column = 0; column < columns; ++column) {
    VARIANT index;
    index.vt = VT_I4;
    index.lVal = column;
    ADOField* field = nullptr;
    Check(fields->get_Item(index, &field));
    BSTR name = nullptr;
    field->get_Name(&name);
    rows[0].push_back(name);
    SysFreeString(name);
    field->Release();
  }
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  for (recordset->get_EOF(&atEnd); !atEnd; recordset->MoveNext(), recordset->get_EOF(&atEnd)) {
    rows.emplace_back();
    for (LONG column = 0; column < columns; ++column) rows.back().push_back(CellText(fields, column));
  }
  fields->Release();
  std::vector<size_t> widths(columns, 0);
  for (const auto& row : rows)
    for (LONG column = 0; column < columns; ++column) widths[column] = std::max(widths[column], row[column].size());
  for (size_t line = 0; line < rows.size(); ++line) {
    printf("   ");
    for (LONG column = 0; column < columns; ++column) printf("%-*ls  ", static_cast<int>(widths[column]), rows[line][column].c_str());
    printf("\n");
    if (line == 0) {
      printf("   ");
      for (LONG column = 0; column < columns; ++column) printf("%s  ", std::string(widths[column], '-').c_str());
      printf("\n");
    }
  }
  printf("   (%zu rows)\n", rows.size() - 1);
}

// kcm db "<sql>" [file or connection string], on ADO directly: the table needs the
// column names, which the field readers do not give.
bool RunStatement(const std::string& sql, const std::string& target) {
  _Connection* connection = nullptr;
  if (FAILED(CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_ALL, IID__Connection, reinterpret_cast<void**>(&connection)))) {
    printf("   ADO is not available\n");
    return false;
  }
  bool ok = true;
  try {
    Check(connection->Open(_bstr_t(ConnectionStringFor(target).c_str()), nullptr, nullptr, adConnectUnspecified));
    _Recordset* recordset = nullptr;
    VARIANT affected;
    VariantInit(&affected);
    Check(connection->Execute(_bstr_t(Wide(sql).c_str()), &affected, adCmdText, &recordset));
    LONG state = adStateClosed;
    if (recordset != nullptr) recordset->get_State(&state);
    if (state == adStateOpen) {
      PrintTable(recordset);
    } else {
      printf("   %d rows affected\n", affected.lVal);
    }
    if (recordset != nullptr) recordset->Release();
  } catch (const _com_error& error) {
    printf("   error 0x%08X: %ls\n", static_cast<unsigned>(error.Error()), static_cast<const wchar_t*>(error.Description()));
    ok = false;
  }
  connection->Release();
  return ok;
}

VARIANT Value(long number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

// The embedded default through IDataBase: a Jet string opens a SQLite file.
bool DemoStep() {
  char folder[] = "/tmp/kcm-tour-db.XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  const std::string file = std::string(folder) + "/stock.db";
  ConnectionStringFor(file);
  IDataBase* database = static_cast<IDataBase*>(CreateDataBase(IID_IDataBase, KCM_INTERFACE_VERSION));
  if (database == nullptr) return false;
  bool ok = true;
  try {
    database->SetJetConnectionInfo(Wide(file).c_str());
    database->OpenConnection();
    database->ExecuteStatement(L"CREATE TABLE part (id INTEGER PRIMARY KEY, name TEXT, count INTEGER)", false);
    database->SetCommandText(L"INSERT INTO part (name, count) VALUES (?, ?)");
    const wchar_t* names[] = {L"bolt", L"nut", L"washer"};
    for (long i = 0; i < 3; ++i) {
      database->ClearParameters();
      VARIANT name;
      VariantInit(&name);
      name.vt = VT_BSTR;
      name.bstrVal = SysAllocString(names[i]);
      database->AddParameter(L"name", adParamInput, adVarWChar, 32, name);
      VariantClear(&name);
      database->AddParameter(L"count", adParamInput, adInteger, 4, Value(100 * (i + 1)));
      database->ExecuteProcedure(false);
    }
    database->ExecuteStatement(L"SELECT name, count FROM part ORDER BY count DESC", true);
    printf("   %s: %ld rows\n", file.c_str(), database->GetRecordCount());
    long total = 0;
    for (; !database->IsRecordsetEnd(); database->MoveToNext()) {
      std::wstring name;
      int count = 0;
      database->GetFieldValue(L"name", name);
      database->GetFieldValue(L"count", count);
      printf("   %-8ls %4d\n", name.c_str(), count);
      total += count;
    }
    ok = total == 600;
  } catch (IADOError* error) {
    printf("   database error (type %d): %ls\n", error->GetErrorType(), error->GetErrorDescribe());
    ok = false;
  }
  database->Ex_Release();
  unlink(file.c_str());
  rmdir(folder);
  return ok;
}

bool DatabaseStep() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const std::vector<std::string>& arguments = Options().arguments;
  const bool ok = arguments.empty() ? DemoStep() : RunStatement(arguments[0], arguments.size() > 1 ? arguments[1] : "kcm.db");
  CoUninitialize();
  return ok;
}

}  // namespace

std::vector<TourStep> DatabaseTour() {
  return {{"db", "a SQLite database filled and read through IDataBase; db \"<sql>\" [file|connection] runs one statement",
           DatabaseStep, true}};
}
