// The connection strings CDataBase builds, character for character.
#include "DatabaseTestSupport.h"

namespace {

const wchar_t kMiddle[] = L"Persist Security Info=True;\t\t\t\t\t\t\t\t\t  User ID=";

class ConnectionStringTest : public DatabaseTest {
 protected:
  std::wstring Built() { return static_cast<CDataBase*>(database_)->ConnectionString(); }
};

TEST_F(ConnectionStringTest, SqlServerByPortHasNineTabsTwoSpacesAndNoInstance) {
  database_->SetSQLConnectionInfo(L"db", L"", 1433, L"main", L"u", L"");
  EXPECT_EQ(std::wstring(L"Provider=SQLOLEDB.1;Password=;") + kMiddle +
                L"u;Initial Catalog=main;Connect Timeout=5;Data Source=db,1433;",
            Built());
}

TEST_F(ConnectionStringTest, SqlServerByInstanceStillWritesThePort) {
  database_->SetSQLConnectionInfo(L"db", L"SQLEXPRESS", 1433, L"main", L"u", L"pw");
  EXPECT_EQ(std::wstring(L"Provider=SQLOLEDB.1;Password=pw;") + kMiddle +
                L"u;Initial Catalog=main;Connect Timeout=5;Data Source=db\\SQLEXPRESS,1433;",
            Built());
}

TEST_F(ConnectionStringTest, JetHasThePathAndNothingAfterIt) {
  database_->SetJetConnectionInfo(L"/data/stock.mdb");
  EXPECT_EQ(L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/stock.mdb", Built());
}

TEST_F(ConnectionStringTest, AnyOdbcStringIsKeptAsGiven) {
  database_->SetConnectionString(L"Driver={PostgreSQL Unicode};Server=127.0.0.1");
  EXPECT_EQ(L"Driver={PostgreSQL Unicode};Server=127.0.0.1", Built());
}

TEST_F(ConnectionStringTest, FactoryAnswersNullForOtherInterfacesAndVersions) {
  EXPECT_EQ(nullptr, CreateDataBase(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION));
  EXPECT_EQ(nullptr, CreateDataBase(IID_IDataBase, 0x01020100));
  void* unknown = CreateDataBase(IID_IUnknownEx, 0x010101FF);
  ASSERT_NE(nullptr, unknown);
  EXPECT_EQ(unknown, static_cast<IDataBase*>(unknown)->Ex_QueryInterface(IID_IDataBase, KCM_INTERFACE_VERSION));
  static_cast<IDataBase*>(unknown)->Ex_Release();
}

}  // namespace
