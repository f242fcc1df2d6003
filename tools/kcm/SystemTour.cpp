// Tour steps of the system and network helpers: local ports and addresses.
#include <netinet/in.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "KestroSystemHelpers.h"
#include "Tour.h"

namespace {

// A TCP listener on the port of all local addresses; -1 if it cannot be had.
int listenOn(unsigned long port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 4) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

bool PortsStep() {
  const unsigned long port = kcm_getFreePort(5000, 2, 1);
  printf("   first free TCP pair from 5000 in steps of 2: %lu/%lu\n", port, port + 1);
  const int listener = port != 0 ? listenOn(port) : -1;
  if (listener < 0) return false;
  const int held = kcm_checkValidNetPort(port, 1);
  const unsigned long next = kcm_getFreePort(port, 2, 1);
  const int reached = kcm_testConnectServer("127.0.0.1", port, 1);
  close(listener);
  const int released = kcm_checkValidNetPort(port, 1);
  printf("   while %lu listens: bindable -> %d, next pair -> %lu, 127.0.0.1:%lu reachable -> %d\n", port, held, next,
         port, reached);
  const int reachedClosed = kcm_testConnectServer("127.0.0.1", port, 1);
  printf("   after it closed: bindable -> %d, reachable -> %d\n", released, reachedClosed);
  return held == 0 && next > port && reached == 1 && released == 1 && reachedClosed == 0;
}

bool AddressesStep() {
  std::vector<std::wstring> addresses;
  kcm_getNetAddrList(addresses);
  for (const std::wstring& address : addresses) printf("   %ls\n", address.c_str());
  return !addresses.empty() && addresses.front() == L"0.0.0.0";
}

}  // namespace

std::vector<TourStep> SystemTour() {
  return {
      {"ports", "a free RTP/RTCP port pair and the port checks", PortsStep},
      {"addrs", "the local IPv4 addresses", AddressesStep},
  };
}
