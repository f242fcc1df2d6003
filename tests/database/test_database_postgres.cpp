// CDataBase against a real PostgreSQL server that each test starts for itself (and stops
// again): procedures and functions, and the reconnect policy when the server goes away.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>

#include "DatabaseTestSupport.h"

namespace {

unsigned short FreePort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

class PostgresTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    port_ = FreePort();
    ASSERT_EQ(0, Server("start", std::to_string(port_))) << "could not start PostgreSQL";
    started_ = true;
    const std::wstring text = L"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_wstring(port_) +
                              L";Database=kcm;UID=kcm;PWD=kcm;";
    database_->SetConnectionString(text.c_str());
    ASSERT_TRUE(database_->OpenConnection());
  }
  void TearDown() override {
    if (database_ != nullptr) database_->Ex_Release();
    database_ = nullptr;
    if (started_) Server("stop");
    DatabaseTest::TearDown();
  }
  int Server(const char* action, const std::string& argument = "") {
    const std::string command = std::string(KCM_TEST_SCRIPTS_DIR "/postgres_server.sh ") + action + " '" + folder_ +
                                "/pg' " + argument;
    return system(command.c_str());
  }

  unsigned short port_ = 0;
  bool started_ = false;
};

TEST_F(PostgresTest, FunctionReturnValueAndProcedureOutputs) {
  try {
  database_->ExecuteStatement(
      L"CREATE FUNCTION add_one(x integer) RETURNS integer LANGUAGE sql AS 'SELECT x + 1';"
      L"CREATE TABLE log (line text);"
      L"CREATE PROCEDURE write_log(t text) LANGUAGE sql AS $$INSERT INTO log VALUES (t)$$;",
      false);
  database_->SetProcedureName(L"add_one");
  VARIANT empty;
  VariantInit(&empty);
  database_->AddParameter(L"RETURN_VALUE", adParamReturnValue, adInteger, 4, empty);
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = 41;
  database_->AddParameter(L"x", adParamInput, adInteger, 4, x);
  ASSERT_TRUE(database_->ExecuteProcedure(false));
  EXPECT_EQ(42, database_->GetReturnValue());

  database_->ClearParameters();
  database_->SetProcedureName(L"write_log");
  VARIANT line;
  VariantInit(&line);
  line.vt = VT_BSTR;
  line.bstrVal = SysAllocString(L"größe ✓");
  database_->AddParameter(L"t", adParamInput, adVarWChar, 20, line);
  VariantClear(&line);
  ASSERT_TRUE(database_->ExecuteProcedure(false));
  EXPECT_EQ(0, database_->GetReturnValue());
  ASSERT_TRUE(database_->ExecuteStatement(L"SELECT line FROM log", true));
  std::wstring written;
  database_->GetFieldValue(L"line", written);
  EXPECT_EQ(L"größe ✓", written);
  EXPECT_EQ(1, database_->GetRecordCount());
  } catch (IADOError* e) { FAIL() << Narrow(e->GetErrorDescribe()); }
}

TEST_F(PostgresTest, LostConnectionThrowsTypeOneThenTheNextFailureReconnects) {
  ASSERT_EQ(0, Server("stop"));
  IADOError* error = ThrownBy([&] { database_->ExecuteStatement(L"SELECT 1", false); });
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(1, error->GetErrorType());
  EXPECT_TRUE(database_->IsConnectionError());
  ASSERT_EQ(0, Server("restart"));
  // The connection stays dead until the object reconnects: this statement fails on it,
  // and being the second failure within 10 seconds it reconnects and answers normally.
  EXPECT_TRUE(database_->ExecuteStatement(L"SELECT 1", false));
  EXPECT_FALSE(database_->IsConnectionError());
  EXPECT_TRUE(database_->ExecuteStatement(L"SELECT 2 AS two", true));
  int two = 0;
  database_->GetFieldValue(L"two", two);
  EXPECT_EQ(2, two);
}

TEST_F(PostgresTest, LongAndWideTextsRoundTripBesideBytes) {
  ExpectTextsRoundTrip(database_, L"CREATE TABLE round_trip (id integer, body text, data bytea, tail text)");
}

}  // namespace
