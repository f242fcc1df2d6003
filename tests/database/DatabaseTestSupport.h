// Helpers of the database suites: a COM thread, a database object, temp files, and
// running a statement expecting the thrown error object.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "KestroCommonModule.h"
#include "adoint.h"  // the ADO type and direction values the parameters take

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    char pattern[] = "/tmp/kcm-db.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    database_ = static_cast<IDataBase*>(CreateDataBase(IID_IDataBase, KCM_INTERFACE_VERSION));
    ASSERT_NE(nullptr, database_);
  }
  void TearDown() override {
    if (database_ != nullptr) database_->Ex_Release();
    std::string command = "rm -rf '" + folder_ + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << folder_;
    CoUninitialize();
  }

  // An empty file: SQLite opens it as an empty database.
  std::wstring EmptyDatabaseFile(const char* name = "test.db") {
    const std::string path = folder_ + "/" + name;
    FILE* file = fopen(path.c_str(), "w");
    if (file != nullptr) fclose(file);
    return std::wstring(path.begin(), path.end());
  }

  void OpenSqlite() {
    database_->SetJetConnectionInfo(EmptyDatabaseFile().c_str());
    ASSERT_TRUE(database_->OpenConnection());
  }

  std::string folder_;
  IDataBase* database_ = nullptr;
};

// Runs `operation`, which must throw the error object; answers it (or null).
template <class Operation>
IADOError* ThrownBy(Operation operation) {
  try {
    operation();
  } catch (IADOError* error) {
    return error;
  }
  return nullptr;
}

inline std::string Narrow(const wchar_t* text) { return std::string(text, text + wcslen(text)); }

// Texts of many lengths (some longer than a fetch has room for, some with characters
// beyond the BMP across that border), a NULL and bytes, written through parameters of one
// command executed repeatedly and read back through the readers. `createTable` makes
// table round_trip (id integer, body text, data binary, tail text).
inline void ExpectTextsRoundTrip(IDataBase* database, const wchar_t* createTable) {
  std::wstring boundary(254, L'b');
  boundary += L'\U0001F600';  // two UTF-16 units: the 255th and the 256th
  const std::wstring texts[] = {L"", L"short", std::wstring(255, L'x'), std::wstring(256, L'y'), boundary,
                                std::wstring(3000, L'\u00E9') + L'\U00010348', L"\u4E2D\u6587"};
  const int count = static_cast<int>(sizeof texts / sizeof texts[0]);
  database->ExecuteStatement(createTable, false);
  database->SetCommandText(L"INSERT INTO round_trip VALUES (?, ?, ?, ?)");
  for (int row = 0; row <= count; ++row) {
    database->ClearParameters();
    VARIANT id, body, data, tail;
    VariantInit(&id);
    id.vt = VT_I4;
    id.lVal = row;
    VariantInit(&body);  // the last row's body is NULL
    if (row < count) {
      body.vt = VT_BSTR;
      body.bstrVal = SysAllocStringLen(texts[row].data(), static_cast<UINT>(texts[row].size()));
    }
    VariantInit(&data);
    data.vt = VT_ARRAY | VT_UI1;
    data.parray = SafeArrayCreateVector(VT_UI1, 0, row + 1);
    memset(data.parray->pvData, row, row + 1);
    VariantInit(&tail);
    tail.vt = VT_BSTR;
    tail.bstrVal = SysAllocString(std::to_wstring(row).c_str());
    database->AddParameter(L"id", adParamInput, adInteger, 4, id);
    database->AddParameter(L"body", adParamInput, adLongVarWChar, 0, body);
    database->AddParameter(L"data", adParamInput, adVarBinary, row + 1, data);
    database->AddParameter(L"tail", adParamInput, adVarWChar, 16, tail);
    database->ExecuteProcedure(false);
    VariantClear(&body);
    VariantClear(&data);
    VariantClear(&tail);
  }
  database->CloseRecordset();
  ASSERT_TRUE(database->ExecuteStatement(L"SELECT id, body, data, tail FROM round_trip ORDER BY id", true));
  ASSERT_EQ(count + 1, database->GetRecordCount());
  for (int row = 0; row <= count; ++row, database->MoveToNext()) {
    int id = -1;
    std::wstring body = L"?", tail;
    database->GetFieldValue(L"id", id);
    database->GetFieldValue(L"body", body);
    database->GetFieldValue(L"tail", tail);
    EXPECT_EQ(row, id);
    EXPECT_EQ(row < count ? texts[row] : L"", body) << "row " << row;
    EXPECT_EQ(std::to_wstring(row), tail);
    EXPECT_EQ(row + 1, database->GetFieldSize(L"data"));
  }
  EXPECT_TRUE(database->IsRecordsetEnd());
}
