#include "SocatPair.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace kcm_test {

namespace {

using Clock = std::chrono::steady_clock;

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// socat dies with the test process, even one that crashed before stopping it.
pid_t SpawnSocat(const std::string& nearEnd, const std::string& farEnd) {
  const std::string a = "pty,raw,echo=0,link=" + nearEnd;
  const std::string b = "pty,raw,echo=0,link=" + farEnd;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The child: only async-signal-safe calls until exec.
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(126);
  // Its output goes nowhere: a pipe nobody drains would stall it.
  const int null = open("/dev/null", O_RDWR);
  for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
  execlp("socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
  _exit(127);
}

}  // namespace

SocatPair::SocatPair() {
  char directory[] = "/tmp/kcm-ptz-XXXXXX";
  if (mkdtemp(directory) == nullptr) return;
  directory_ = directory;
  const std::string nearEnd = directory_ + "/ttyA";
  const std::string farEnd = directory_ + "/ttyB";
  pid_ = SpawnSocat(nearEnd, farEnd);
  if (pid_ <= 0) return;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline && !(Exists(nearEnd) && Exists(farEnd))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (Exists(nearEnd) && Exists(farEnd)) {
    nearEnd_ = nearEnd;
    farEnd_ = farEnd;
  }
}

SocatPair::~SocatPair() {
  stop();
  if (!directory_.empty()) rmdir(directory_.c_str());
}

void SocatPair::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

FarEnd::FarEnd(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios settings{};
  if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(fd_, TCSANOW, &settings);
  }
}

FarEnd::~FarEnd() {
  if (fd_ >= 0) close(fd_);
}

std::vector<unsigned char> FarEnd::take(std::chrono::milliseconds patience, std::chrono::milliseconds quiet) {
  std::vector<unsigned char> bytes;
  auto deadline = Clock::now() + patience;
  while (Clock::now() < deadline) {
    pollfd entry{fd_, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (poll(&entry, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) continue;  // never -1: infinite
    unsigned char buffer[512];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
    deadline = Clock::now() + quiet;
  }
  return bytes;
}

std::string FarEnd::takeHex(std::chrono::milliseconds patience) { return Hex(take(patience)); }

std::vector<unsigned char> FarEnd::takeCount(size_t count, std::chrono::milliseconds patience) {
  std::vector<unsigned char> bytes;
  const auto deadline = Clock::now() + patience;
  while (bytes.size() < count && Clock::now() < deadline) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    unsigned char buffer[65536];
    const ssize_t got = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (got <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

bool FarEnd::write(const std::string& bytes) {
  return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string Hex(const std::vector<unsigned char>& bytes) {
  std::string text;
  char part[4];
  for (unsigned char byte : bytes) {
    snprintf(part, sizeof part, text.empty() ? "%02X" : " %02X", byte);
    text += part;
  }
  return text;
}

void MapComPort(int number, const std::string& device) {
  setenv(("KCM_COM" + std::to_string(number)).c_str(), device.c_str(), 1);
}

}  // namespace kcm_test
