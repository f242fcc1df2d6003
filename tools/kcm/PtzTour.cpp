// Tour step of pan-tilt-zoom head control: a head driven from the command line on a
// real port, or shown on a pseudo-terminal pair where kcm plays the head and prints every
// byte that reaches it.
//
//   kcm ptz                                  the demo: each protocol, a few operations
//   kcm ptz --protocol visca --op left ...   one operation's bytes, without any port
//   kcm ptz --port 3 --protocol pelco-d ...  one operation on COM3 (see KestroSerialPorts.h)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KestroCloudTourControl.h"
#include "Tour.h"
#include "windows.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The COM port kcm maps to its pseudo-terminal.
const int kDemoPortNumber = 99;

const char* const kOpNames[] = {"left", "right", "up", "down", "wide", "tele",
                                "focus1", "focus2", "stop", "store", "goto", "clear"};
const char* const kProtocolNames[] = {"pelco-d", "pelco-p", "visca"};

// A name's index, or a number as it stands; false when the text is neither.
bool Lookup(const std::string& text, const char* const* names, int count, int* value) {
  for (int i = 0; i < count; ++i) {
    if (text == names[i]) {
      *value = i;
      return true;
    }
  }
  char* end = nullptr;
  *value = static_cast<int>(strtol(text.c_str(), &end, 10));
  return !text.empty() && *end == '\0';
}

std::string Hex(const std::vector<unsigned char>& bytes) {
  std::string text;
  char part[4];
  for (unsigned char byte : bytes) {
    snprintf(part, sizeof part, "%02X ", byte);
    text += part;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

// The head's end of a pseudo-terminal pair: socat's second pty when socat is installed,
// else the master of a pty of our own. The library opens the other end as COM99.
class HeadLine {
 public:
  HeadLine() {
    if (!startSocat()) startOwnPty();
    if (!portDevice_.empty()) setenv(("KCM_COM" + std::to_string(kDemoPortNumber)).c_str(), portDevice_.c_str(), 1);
  }
  ~HeadLine() {
    if (headFd_ >= 0) close(headFd_);
    if (slaveFd_ >= 0) close(slaveFd_);
    if (socat_ > 0) {
      kill(socat_, SIGTERM);
      waitpid(socat_, nullptr, 0);
    }
    if (!directory_.empty()) rmdir(directory_.c_str());
  }
  HeadLine(const HeadLine&) = delete;
  HeadLine& operator=(const HeadLine&) = delete;

  bool ok() const { return headFd_ >= 0; }
  const char* how() const { return socat_ > 0 ? "a socat pseudo-terminal pair" : "a pseudo-terminal of kcm's own"; }
  const std::string& portDevice() const { return portDevice_; }

  // What arrived, once the line has been quiet for a moment.
  std::vector<unsigned char> take() {
    std::vector<unsigned char> bytes;
    auto deadline = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < deadline) {
      pollfd entry{headFd_, POLLIN, 0};
      if (poll(&entry, 1, 10) <= 0) continue;
      unsigned char buffer[256];
      const ssize_t got = read(headFd_, buffer, sizeof buffer);
      if (got <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + got);
      deadline = Clock::now() + std::chrono::milliseconds(40);
    }
    return bytes;
  }
  void answer(const std::string& bytes) { (void)write(headFd_, bytes.data(), bytes.size()); }

 private:
  bool startSocat() {
    char directory[] = "/tmp/kcm-ptz-XXXXXX";
    if (mkdtemp(directory) == nullptr) return false;
    directory_ = directory;
    const std::string port = directory_ + "/ttyA";
    const std::string head = directory_ + "/ttyB";
    const std::string a = "pty,raw,echo=0,link=" + port;
    const std::string b = "pty,raw,echo=0,link=" + head;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    char* argv[] = {const_cast<char*>("socat"), const_cast<char*>(a.c_str()), const_cast<char*>(b.c_str()), nullptr};
    if (posix_spawnp(&socat_, "socat", &actions, nullptr, argv, environ) != 0) socat_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    struct stat info {};
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (socat_ > 0 && Clock::now() < deadline && (stat(port.c_str(), &info) != 0 || stat(head.c_str(), &info) != 0)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    headFd_ = socat_ > 0 ? open(head.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) : -1;
    if (headFd_ < 0) return false;
    portDevice_ = port;
    return true;
  }

  void startOwnPty() {
    headFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (headFd_ < 0 || grantpt(headFd_) != 0 || unlockpt(headFd_) != 0 || ptsname(headFd_) == nullptr) return;
    portDevice_ = ptsname(headFd_);
    // Held open so that the line stays up while the library closes its port between operations.
    slaveFd_ = open(portDevice_.c_str(), O_RDWR | O_NOCTTY);
    termios settings{};
    if (slaveFd_ >= 0 && tcgetattr(slaveFd_, &settings) == 0) {
      cfmakeraw(&settings);
      tcsetattr(slaveFd_, TCSANOW, &settings);
    }
  }

  std::string directory_;
  std::string portDevice_;
  pid_t socat_ = -1;
  int headFd_ = -1;
  int slaveFd_ = -1;
};

// Prints what the head sends back, as the control's reader hands it over.
class PrintingSink : public ICloudTourDataSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID&, unsigned long) override { return nullptr; }
  void onData(ICloudTourControl*, const char* data, size_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), data, data + length);
    arrived_.notify_all();
  }
  std::vector<unsigned char> waitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(2), [&] { return received_.size() >= count; });
    return received_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<unsigned char> received_;
};

ICloudTourControl* NewControl() {
  return static_cast<ICloudTourControl*>(CreateCloudTourControl(IID_ICloudTourControl, KCM_INTERFACE_VERSION));
}

CloudTourOpParam Param(int speed, int preset) {
  CloudTourOpParam param{};
  param.speed = speed;
  param.preset = preset;
  return param;
}

// One operation on the line; prints and answers whether it went as expected.
bool ShowOperation(ICloudTourControl* control, HeadLine* line, int op, int speed, int preset) {
  CloudTourOpParam param = Param(speed, preset);
  const long result = control->doOP(op, &param);
  const std::string bytes = Hex(line->take());
  const char* name = op >= 0 && op < 12 ? kOpNames[op] : "(ignored)";
  printf("   %-8s speed %d preset %-3d -> %s\n", name, speed, preset, bytes.empty() ? "(nothing)" : bytes.c_str());
  if (result != S_OK) printf("   doOP answered 0x%08X\n", static_cast<unsigned>(result));
  return result == S_OK;
}

// Every protocol on the pseudo-terminal; the VISCA head answers and the reader shows it.
bool DemoTour() {
  HeadLine line;
  if (!line.ok()) return false;
  printf("   the head is %s; COM%d is %s\n", line.how(), kDemoPortNumber, line.portDevice().c_str());
  ICloudTourControl* control = NewControl();
  if (control == nullptr) return false;
  PrintingSink sink;
  bool ok = true;
  for (int protocol = 0; protocol < 3; ++protocol) {
    printf("   %s, head address 1:\n", kProtocolNames[protocol]);
    control->configure(kDemoPortNumber - 1, 0, protocol, protocol == 2 ? &sink : nullptr, 1);
    ok = ShowOperation(control, &line, CloudTourOpPanLeft, 6, 0) && ok;
    ok = ShowOperation(control, &line, CloudTourOpZoomTele, 2, 0) && ok;
    ok = ShowOperation(control, &line, CloudTourOpStop, 6, 0) && ok;
    ok = ShowOperation(control, &line, CloudTourOpGotoPreset, 0, 5) && ok;
  }
  line.answer("\x90\x41\xFF\x90\x51\xFF");  // VISCA acknowledge and completion
  const std::vector<unsigned char> reply = sink.waitFor(6);
  printf("   the reader handed over the head's reply: %s\n", Hex(reply).c_str());
  control->Ex_Release();
  return ok && reply.size() == 6;
}

struct PtzRequest {
  int protocol;
  int op;
};

// A protocol number outside 0-2 is passed on: the control answers E_NOINTERFACE for it.
bool ParseRequest(const TourOptions& options, PtzRequest* request) {
  const bool protocolOk = Lookup(options.ptzProtocol, kProtocolNames, 3, &request->protocol);
  const bool opOk = Lookup(options.ptzOp.empty() ? "stop" : options.ptzOp, kOpNames, 12, &request->op);
  if (!protocolOk) printf("   unknown protocol \"%s\" (pelco-d, pelco-p, visca or 0-2)\n", options.ptzProtocol.c_str());
  if (!opOk) printf("   unknown operation \"%s\"\n", options.ptzOp.c_str());
  return protocolOk && opOk;
}

const char* ProtocolName(int protocol) { return protocol >= 0 && protocol < 3 ? kProtocolNames[protocol] : "unknown"; }

// One operation on a real port.
bool DriveRealPort(const TourOptions& options, const PtzRequest& request) {
  ICloudTourControl* control = NewControl();
  if (control == nullptr) return false;
  control->configure(options.ptzPort - 1, options.ptzAddress, request.protocol, nullptr, 0);
  CloudTourOpParam param = Param(options.ptzSpeed, options.ptzPreset);
  const long result = control->doOP(request.op, &param);
  printf("   COM%d, %s, address %d: op %d -> 0x%08lX\n", options.ptzPort, ProtocolName(request.protocol),
         options.ptzAddress, request.op, static_cast<unsigned long>(static_cast<uint32_t>(result)));
  control->Ex_Release();
  return result == S_OK;
}

// One operation's bytes, on kcm's own line instead of a port.
bool ShowFrames(const TourOptions& options, const PtzRequest& request) {
  HeadLine line;
  ICloudTourControl* control = line.ok() ? NewControl() : nullptr;
  if (control == nullptr) return false;
  printf("   %s, address %d (frames that would go to the port):\n", ProtocolName(request.protocol), options.ptzAddress);
  control->configure(kDemoPortNumber - 1, options.ptzAddress, request.protocol, nullptr, 0);
  const bool ok = ShowOperation(control, &line, request.op, options.ptzSpeed, options.ptzPreset);
  control->Ex_Release();
  return ok;
}

bool PtzStep() {
  const TourOptions& options = Options();
  if (options.ptzOp.empty() && options.ptzPort == 0) return DemoTour();
  PtzRequest request{};
  if (!ParseRequest(options, &request)) return false;
  return options.ptzPort > 0 ? DriveRealPort(options, request) : ShowFrames(options, request);
}

}  // namespace

std::vector<TourStep> PtzTour() {
  return {{"ptz", "pan-tilt-zoom heads: Pelco-D, Pelco-P and VISCA bytes as they reach the head", PtzStep}};
}
