// CDataBase on the embedded default: a SQLite file through the Jet connection string.
#include <vector>

#include "DatabaseTestSupport.h"
#include "comdef.h"

namespace {

class SqliteDatabaseTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    OpenSqlite();
    database_->ExecuteStatement(
        L"CREATE TABLE item (id INTEGER PRIMARY KEY, name TEXT, price NUMERIC(10,2), weight REAL, big INTEGER, "
        L"flag BOOLEAN, note TEXT);"
        L"INSERT INTO item VALUES (1, 'bolt', 0.25, 1.5, 5000000000, 1, NULL);"
        L"INSERT INTO item VALUES (2, 'nut', 12.50, 0.5, -3, 0, 'M6');",
        false);
  }
  void Select(const wchar_t* sql) {
    database_->CloseRecordset();
    ASSERT_TRUE(database_->ExecuteStatement(sql, true));
  }
};

TEST_F(SqliteDatabaseTest, ReadersConvertEachTypeAndNullsReadAsZero) {
  Select(L"SELECT * FROM item ORDER BY id");
  EXPECT_EQ(2, database_->GetRecordCount());
  std::wstring name;
  double weight = 0;
  long long big = 0;
  bool flag = false;
  int id = 0;
  std::wstring note = L"x";
  database_->GetFieldValue(L"NAME", name);  // field names ignore case
  database_->GetFieldValue(L"weight", weight);
  database_->GetFieldValue(L"big", big);
  database_->GetFieldValue(L"flag", flag);
  database_->GetFieldValue(L"id", id);
  database_->GetFieldValue(L"note", note);
  EXPECT_EQ(L"bolt", name);
  EXPECT_DOUBLE_EQ(1.5, weight);
  EXPECT_EQ(5000000000LL, big);
  EXPECT_TRUE(flag);
  EXPECT_EQ(1, id);
  EXPECT_EQ(L"", note);
  EXPECT_EQ(4, database_->GetFieldSize(L"name"));
  database_->MoveToNext();
  short small = 0;
  unsigned char byte = 0;
  wchar_t buffer[3];
  database_->GetFieldValue(L"big", small);
  database_->GetFieldValue(L"big", byte);
  database_->GetFieldValue(L"name", buffer, 3);
  EXPECT_EQ(-3, small);
  EXPECT_EQ(0xFD, byte);  // the low byte of -3
  EXPECT_STREQ(L"nu", buffer);
  database_->MoveToNext();
  EXPECT_TRUE(database_->IsRecordsetEnd());
  database_->MoveToFirst();
  EXPECT_FALSE(database_->IsRecordsetEnd());
}

TEST_F(SqliteDatabaseTest, WrongTypesUnknownFieldsAndBadStatementsThrowTypeTwo) {
  Select(L"SELECT * FROM item WHERE id = 2");
  unsigned int unsignedValue = 0;
  IADOError* error = ThrownBy([&] { database_->GetFieldValue(L"big", unsignedValue); });
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(2, error->GetErrorType());
  int number = 0;
  error = ThrownBy([&] { database_->GetFieldValue(L"name", number); });
  ASSERT_NE(nullptr, error);
  error = ThrownBy([&] { database_->GetFieldValue(L"missing", number); });
  ASSERT_NE(nullptr, error);
  EXPECT_NE(std::wstring::npos, std::wstring(error->GetErrorDescribe()).find(L"Item cannot be found"));
  error = ThrownBy([&] { database_->ExecuteStatement(L"SELEKT 1", false); });
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(2, error->GetErrorType());
  EXPECT_NE(std::wstring::npos, std::wstring(error->GetErrorDescribe()).find(L"syntax error")) << Narrow(error->GetErrorDescribe());
  EXPECT_FALSE(database_->IsConnectionError());
}

TEST_F(SqliteDatabaseTest, ParameterisedTextCommandBindsInOrderIncludingBinaryAndDecimal) {
  database_->ExecuteStatement(L"CREATE TABLE blob_item (id INTEGER, data BLOB, amount NUMERIC)", false);
  database_->SetCommandText(L"INSERT INTO blob_item VALUES (?, ?, ?)");
  for (int row = 1; row <= 2; ++row) {
    database_->ClearParameters();
    VARIANT id;
    VariantInit(&id);
    id.vt = VT_I4;
    id.lVal = row;
    database_->AddParameter(L"id", adParamInput, adInteger, 4, id);
    VARIANT data;
    VariantInit(&data);
    data.vt = VT_ARRAY | VT_UI1;
    data.parray = SafeArrayCreateVector(VT_UI1, 0, row * 3);  // lengths differ per execute
    memset(data.parray->pvData, row, row * 3);
    database_->AddParameter(L"data", adParamInput, adVarBinary, row * 3, data);
    VariantClear(&data);
    DECIMAL amount = {};
    amount.Lo64 = 12345 * row;
    amount.scale = 2;
    database_->AddDecimalParameter(L"amount", adParamInput, amount, 10, 2);
    ASSERT_TRUE(database_->ExecuteProcedure(false));
  }
  Select(L"SELECT id, data, amount FROM blob_item ORDER BY id");
  database_->MoveToNext();
  EXPECT_EQ(6, database_->GetFieldSize(L"data"));
  std::wstring amount;
  database_->GetFieldValue(L"amount", amount);
  EXPECT_EQ(L"246.9", amount);
}

TEST_F(SqliteDatabaseTest, LongAndWideTextsRoundTripBesideBytes) {
  ExpectTextsRoundTrip(database_, L"CREATE TABLE round_trip (id INTEGER, body TEXT, data BLOB, tail TEXT)");
}

TEST_F(SqliteDatabaseTest, RepeatedCommandTakesEachExecutionsParametersAndRefusesTooFew) {
  database_->SetCommandText(L"INSERT INTO item (id, name, weight) VALUES (?, ?, ?)");
  auto execute = [&](const std::vector<VARIANT>& values) {
    database_->ClearParameters();
    for (const VARIANT& value : values) database_->AddParameter(L"p", adParamInput, adVariant, 0, value);
    database_->ExecuteProcedure(false);
  };
  auto number = [](int value) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
  };
  _bstr_t text(L"eleven"), digits(L"12");
  VARIANT name, id, nothing;
  VariantInit(&name);
  name.vt = VT_BSTR;
  name.bstrVal = text.GetBSTR();
  VariantInit(&id);
  id.vt = VT_BSTR;
  id.bstrVal = digits.GetBSTR();
  VariantInit(&nothing);
  nothing.vt = VT_NULL;
  execute({number(10), name, number(7)});
  execute({id, nothing, number(8)});  // other types in the same places
  IADOError* error = ThrownBy([&] { execute({number(13), name}); });
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(2, error->GetErrorType());
  execute({number(14), name, number(9)});
  Select(L"SELECT id, name, weight FROM item WHERE id >= 10 ORDER BY id");
  ASSERT_EQ(3, database_->GetRecordCount());
  const int ids[] = {10, 12, 14};
  const wchar_t* names[] = {L"eleven", L"", L"eleven"};
  const double weights[] = {7, 8, 9};
  for (int row = 0; row < 3; ++row, database_->MoveToNext()) {
    int readId = 0;
    std::wstring readName;
    double weight = 0;
    database_->GetFieldValue(L"id", readId);
    database_->GetFieldValue(L"name", readName);
    database_->GetFieldValue(L"weight", weight);
    EXPECT_EQ(ids[row], readId);
    EXPECT_EQ(names[row], readName);
    EXPECT_EQ(weights[row], weight);
  }
}

TEST_F(SqliteDatabaseTest, ParameterisedSelectRunWithoutRowsLeavesNoCursorBehind) {
  database_->SetCommandText(L"SELECT name FROM item WHERE id = ?");
  VARIANT id;
  VariantInit(&id);
  id.vt = VT_I4;
  id.lVal = 2;
  for (int pass = 0; pass < 3; ++pass) {
    database_->ClearParameters();
    database_->AddParameter(L"id", adParamInput, adInteger, 4, id);
    ASSERT_TRUE(database_->ExecuteProcedure(pass == 2));
  }
  std::wstring name;
  database_->GetFieldValue(L"name", name);
  EXPECT_EQ(L"nut", name);
}

TEST_F(SqliteDatabaseTest, BatchOfSelectsGivesOneRecordsetEach) {
  try {
  Select(L"SELECT 1 AS a; SELECT 'two' AS b, 3 AS c;");
  int a = 0;
  database_->GetFieldValue(L"a", a);
  EXPECT_EQ(1, a);
  ASSERT_TRUE(database_->NextRecordset());
  std::wstring b;
  database_->GetFieldValue(L"b", b);
  EXPECT_EQ(L"two", b);
  EXPECT_FALSE(database_->NextRecordset());
  EXPECT_FALSE(database_->IsRecordsetOpened());  // a closed recordset took its place
  } catch (IADOError* e) { FAIL() << Narrow(e->GetErrorDescribe()); }
}

TEST_F(SqliteDatabaseTest, ReturnValueIsZeroWithoutAReturnParameter) {
  database_->SetCommandText(L"SELECT 1");
  ASSERT_TRUE(database_->ExecuteProcedure(true));
  EXPECT_EQ(0, database_->GetReturnValue());
}

class SqliteOpenTest : public DatabaseTest {};

TEST_F(SqliteOpenTest, MissingFileAndFolderFailWithTheDriversMessage) {
  database_->SetJetConnectionInfo(L"/nonexistent-folder/x.db");
  IADOError* error = ThrownBy([&] { database_->OpenConnection(); });
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(2, error->GetErrorType());
  EXPECT_GT(wcslen(error->GetErrorDescribe()), 0u);
  EXPECT_TRUE(database_->IsConnectionError());
}

TEST_F(SqliteOpenTest, UnknownProviderAndMalformedStringsFail) {
  database_->SetConnectionString(L"Provider=NoSuch.Provider;Data Source=x");
  IADOError* error = ThrownBy([&] { database_->OpenConnection(); });
  ASSERT_NE(nullptr, error);
  EXPECT_NE(std::wstring::npos, std::wstring(error->GetErrorDescribe()).find(L"Provider cannot be found"));
  database_->SetConnectionString(L"this is no connection string");
  ASSERT_NE(nullptr, ThrownBy([&] { database_->OpenConnection(); }));
  database_->SetConnectionString(nullptr);
  ASSERT_NE(nullptr, ThrownBy([&] { database_->OpenConnection(); }));
}

TEST_F(SqliteOpenTest, StatementsOnAClosedConnectionThrowTypeOneFirst) {
  IADOError* error = ThrownBy([&] { database_->ExecuteStatement(L"SELECT 1", false); });
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(1, error->GetErrorType());
}

}  // namespace
