// SQL Server through FreeTDS: no server exists here, so an open against a closed port
// must fail fast with the driver's message.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>

#include "DatabaseTestSupport.h"

namespace {

// A local port nobody listens on: bound, never listened on, then closed.
unsigned short ClosedPort() {
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

class FreeTdsTest : public DatabaseTest {};

TEST_F(FreeTdsTest, ClosedPortFailsFastWithTypeTwoAndTheDriversMessage) {
  database_->SetSQLConnectionInfo(L"127.0.0.1", L"", ClosedPort(), L"main", L"sa", L"secret");
  const auto start = std::chrono::steady_clock::now();
  IADOError* error = ThrownBy([&] { database_->OpenConnection(); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(2, error->GetErrorType());
  EXPECT_NE(std::wstring::npos, std::wstring(error->GetErrorDescribe()).find(L"FreeTDS")) << Narrow(error->GetErrorDescribe());
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
