// Local ports and addresses, and a TCP reachability probe, on BSD sockets.
#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "KestroSystemHelpers.h"

namespace {

const unsigned long kPortSearchEnd = 30000;

// Closes the socket when it leaves scope.
struct ScopedSocket {
  explicit ScopedSocket(int type) : fd(socket(AF_INET, type | SOCK_CLOEXEC, 0)) {}
  ~ScopedSocket() {
    if (fd >= 0) close(fd);
  }
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
  const int fd;
};

// Ports are taken modulo 65536, as the 16-bit conversion on Windows did.
sockaddr_in ipv4Address(in_addr_t address, unsigned long port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(static_cast<uint16_t>(port));
  result.sin_addr.s_addr = address;
  return result;
}

bool canBind(unsigned long port, int tcp) {
  const ScopedSocket probe(tcp != 0 ? SOCK_STREAM : SOCK_DGRAM);
  if (probe.fd < 0) return false;
  const sockaddr_in address = ipv4Address(htonl(INADDR_ANY), port);
  return bind(probe.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

int64_t monotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits for the connection to complete. Linux reports a refused connection as writable
// with an error, so the socket's error decides.
bool connectedWithin(int fd, int timeoutSeconds) {
  const int64_t deadline = monotonicMilliseconds() + std::clamp(timeoutSeconds, 0, INT_MAX / 1000) * int64_t{1000};
  pollfd watch{fd, POLLOUT, 0};
  int ready;
  do {
    const int64_t remaining = std::max<int64_t>(deadline - monotonicMilliseconds(), 0);
    ready = poll(&watch, 1, static_cast<int>(remaining));
  } while (ready < 0 && errno == EINTR);
  int error = 0;
  socklen_t length = sizeof error;
  return ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

std::wstring widen(const char* text) { return std::wstring(text, text + strlen(text)); }

}  // namespace

int kcm_checkValidNetPort(unsigned long port, int tcp) { return canBind(port, tcp) ? 1 : 0; }

unsigned long kcm_getFreePort(unsigned long firstPort, unsigned long step, int tcp) {
  for (unsigned long port = firstPort;; port += step) {
    // p + 1 is tried only after p's socket is closed again.
    if (canBind(port, tcp) && canBind(port + 1, tcp)) return port;
    // The next port would reach the end; a step of 0 would never get there.
    if (port >= kPortSearchEnd || step == 0 || step >= kPortSearchEnd - port) return 0;
  }
}

void kcm_getNetAddrList(std::vector<std::wstring>& list) {
  list.push_back(L"0.0.0.0");
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return;
  std::vector<std::wstring> external, loopback;
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0)
      continue;
    char text[INET_ADDRSTRLEN];
    const in_addr& address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
    if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) continue;
    ((entry->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : external).push_back(widen(text));
  }
  freeifaddrs(interfaces);
  const std::vector<std::wstring>& chosen = external.empty() ? loopback : external;
  list.insert(list.end(), chosen.begin(), chosen.end());
}

int kcm_testConnectServer(const char* address, unsigned long port, int timeoutSeconds) {
  in_addr host{};
  // inet_aton reads every form inet_addr reads ("127.1" too).
  if (address == nullptr || inet_aton(address, &host) == 0) return 0;
  const ScopedSocket probe(SOCK_STREAM | SOCK_NONBLOCK);
  if (probe.fd < 0) return 0;
  const sockaddr_in target = ipv4Address(host.s_addr, port);
  if (connect(probe.fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) return 1;
  return errno == EINPROGRESS && connectedWithin(probe.fd, timeoutSeconds) ? 1 : 0;
}
