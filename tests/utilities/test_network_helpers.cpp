#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>

#include "KestroSystemHelpers.h"

namespace {

// A socket bound to a port of all local addresses (0: the system picks), listening
// when it is a stream socket.
struct Bound {
  explicit Bound(unsigned long wanted, int type = SOCK_STREAM, int backlog = 16) : fd(socket(AF_INET, type, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(wanted));
    ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
         (type != SOCK_STREAM || listen(fd, backlog) == 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  ~Bound() { close(fd); }
  int fd;
  bool ok;
  unsigned long port;
};

double probeSeconds(unsigned long port, int timeout, int* result) {
  const auto start = std::chrono::steady_clock::now();
  *result = kcm_testConnectServer("127.0.0.1", port, timeout);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// Tests that ports held by a TCP listener or a UDP socket do not bind, also named
// 65536 higher, and bind again once released.
TEST(NetPorts, CheckValidNetPortBinds) {
  unsigned long port;
  {
    Bound listener(0);
    port = listener.port;
    EXPECT_EQ(kcm_checkValidNetPort(port, 1), 0);
    EXPECT_EQ(kcm_checkValidNetPort(port + 65536, 1), 0);
  }
  EXPECT_EQ(kcm_checkValidNetPort(port, 1), 1);
  Bound datagram(0, SOCK_DGRAM);
  EXPECT_EQ(kcm_checkValidNetPort(datagram.port, 0), 0);
}

// Tests the pair search: the start when p and p + 1 are free, the next step when p + 1
// is taken; a start at or above 30000 or a zero step is tried once; the search stops
// before passing 30000.
TEST(NetPorts, GetFreePortFindsAPairBelow30000) {
  unsigned long base = 20000;
  while (base < 29000 && !(Bound(base).ok && Bound(base + 1).ok && Bound(base + 2).ok && Bound(base + 3).ok))
    base += 10;
  EXPECT_EQ(kcm_getFreePort(base, 2, 1), base);
  Bound second(base + 1);
  EXPECT_EQ(kcm_getFreePort(base, 2, 1), base + 2);
  Bound high(0), last(29999);
  ASSERT_GE(high.port, 30000u);
  EXPECT_EQ(kcm_getFreePort(high.port, 2, 1), 0u);
  EXPECT_EQ(kcm_getFreePort(base + 1, 0, 1), 0u);
  EXPECT_EQ(kcm_getFreePort(29999, 1, 1), 0u);
}

// Tests that the list is appended to, starts with "0.0.0.0" and holds dotted IPv4 only.
TEST(NetAddresses, ListStartsWithTheAnyAddress) {
  std::vector<std::wstring> list{L"kept"};
  kcm_getNetAddrList(list);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[1], L"0.0.0.0");
  for (size_t i = 2; i < list.size(); ++i) {
    in_addr address{};
    EXPECT_EQ(inet_pton(AF_INET, std::string(list[i].begin(), list[i].end()).c_str(), &address), 1);
  }
}

// Tests the probe: a listening port connects, a closed one answers 0 without waiting
// out the time-out, and a listener whose backlog is full (it drops the handshake) only
// after it.
TEST(ConnectServer, ConnectsWithinTheTimeOut) {
  int result = -1;
  Bound listener(0, SOCK_STREAM, 0);
  EXPECT_EQ(kcm_testConnectServer("127.1", listener.port, 2), 1);  // now queued, never accepted
  EXPECT_GE(probeSeconds(listener.port, 1, &result), 0.9);
  EXPECT_EQ(result, 0);
  const unsigned long closed = Bound(0).port;
  EXPECT_LT(probeSeconds(closed, 5, &result), 2.0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(kcm_testConnectServer("not an address", closed, 1), 0);
  EXPECT_EQ(kcm_testConnectServer(nullptr, closed, 1), 0);
}
