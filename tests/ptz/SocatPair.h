// Pseudo-terminal pairs for the serial tests: socat links two ptys, the library opens
// one end as a COM port and the test plays the head on the other.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace kcm_test {

// Starts `socat pty,raw,echo=0,link=<dir>/ttyA pty,raw,echo=0,link=<dir>/ttyB` and waits
// until both links exist; stops it (SIGTERM, reaped) when destroyed.
class SocatPair {
 public:
  SocatPair();
  ~SocatPair();
  SocatPair(const SocatPair&) = delete;
  SocatPair& operator=(const SocatPair&) = delete;

  bool ok() const { return pid_ > 0 && !nearEnd_.empty(); }
  // The end the library opens.
  const std::string& nearEnd() const { return nearEnd_; }
  // The head's end.
  const std::string& farEnd() const { return farEnd_; }
  // Stops socat now: both ends go away.
  void stop();

 private:
  pid_t pid_ = -1;
  std::string directory_;
  std::string nearEnd_;
  std::string farEnd_;
};

// The head's side of a pair: reads what the library wrote, writes what the head answers.
class FarEnd {
 public:
  explicit FarEnd(const std::string& path);
  ~FarEnd();
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;

  bool ok() const { return fd_ >= 0; }
  // What arrives until the line has been quiet for `quiet` after the first byte, or
  // nothing after `patience`.
  std::vector<unsigned char> take(std::chrono::milliseconds patience = std::chrono::milliseconds(1500),
                                  std::chrono::milliseconds quiet = std::chrono::milliseconds(40));
  // take() as hex, "FF 01 00 ...".
  std::string takeHex(std::chrono::milliseconds patience = std::chrono::milliseconds(1500));
  // Reads exactly `count` bytes, or what came within `patience`.
  std::vector<unsigned char> takeCount(size_t count, std::chrono::milliseconds patience);
  bool write(const std::string& bytes);

 private:
  int fd_ = -1;
};

std::string Hex(const std::vector<unsigned char>& bytes);

// Points COM<number> at `device` through KCM_COM<number>.
void MapComPort(int number, const std::string& device);

}  // namespace kcm_test
