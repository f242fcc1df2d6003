// The serial-port stand-in: COM names, sharing, settings, timeouts and overlapped writes,
// on real pseudo-terminals.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "KestroSerialPorts.h"
#include "SocatPair.h"
#include "windows.h"

using namespace kcm_test;

namespace {

const int kPort = 11;
const wchar_t kPortName[] = L"\\\\.\\COM11";

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pair_.ok()) << "socat did not start";
    MapComPort(kPort, pair_.nearEnd());
  }
  void TearDown() override {
    for (HANDLE handle : handles_) CloseHandle(handle);
  }
  HANDLE Open(DWORD share, DWORD flags = 0) {
    HANDLE handle = CreateFileW(kPortName, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) handles_.push_back(handle);
    return handle;
  }
  void Forget(HANDLE handle) { handles_.erase(std::find(handles_.begin(), handles_.end(), handle)); }

  SocatPair pair_;
  std::vector<HANDLE> handles_;
};

TEST(SerialPortNames, MapThroughTheEnvironmentThenTheDefault) {
  unsetenv("KCM_COM3");
  EXPECT_EQ(KcmSerialDevicePath("\\\\.\\COM3"), "/dev/ttyS2");
  EXPECT_EQ(KcmSerialDevicePath("com3"), "/dev/ttyS2");
  MapComPort(3, "/dev/ttyUSB0");
  EXPECT_EQ(KcmSerialDevicePath("\\\\.\\COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(KcmSerialDevicePath("\\\\.\\COM"), "");
  EXPECT_EQ(KcmSerialDevicePath("\\\\.\\COM0"), "");
  EXPECT_EQ(KcmSerialDevicePath("C:\\data.txt"), "");
}

// The settings file lies beside the platform library; the environment still wins.
TEST(SerialPortNames, MapThroughTheSettingsFile) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&CreateFileW), &info), 0);
  std::string settings = info.dli_fname;
  settings = settings.substr(0, settings.rfind('/')) + "/KestroCommonModule.xml";
  if (access(settings.c_str(), F_OK) == 0) GTEST_SKIP() << "a settings file exists already: " << settings;
  std::ofstream(settings) << "<KestroCommonModule>\n  <serial>\n    <port number=\"57\" device=\"/dev/ttyUSB9\"/>\n"
                             "    <port number='58' device='/dev/a&amp;b'/>\n  </serial>\n</KestroCommonModule>\n";
  unsetenv("KCM_COM57");
  const std::string fromFile = KcmSerialDevicePath("\\\\.\\COM57");
  const std::string withEntity = KcmSerialDevicePath("COM58");
  const std::string unlisted = KcmSerialDevicePath("COM59");
  MapComPort(57, "/dev/ttyACM0");
  const std::string fromEnvironment = KcmSerialDevicePath("COM57");
  remove(settings.c_str());
  EXPECT_EQ(fromFile, "/dev/ttyUSB9");
  EXPECT_EQ(withEntity, "/dev/a&b");
  EXPECT_EQ(unlisted, "/dev/ttyS58");
  EXPECT_EQ(fromEnvironment, "/dev/ttyACM0");
}

TEST(SerialPortOpen, MissingDeviceAnswersAnInvalidHandle) {
  MapComPort(12, "/tmp/kcm-no-such-device");
  SetLastError(0);
  EXPECT_EQ(CreateFileA("\\\\.\\COM12", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // Only serial ports are files here; a regular file is no port either.
  EXPECT_EQ(CreateFileA("notes.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  MapComPort(12, "/etc/hostname");
  EXPECT_EQ(CreateFileA("COM12", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SerialPortTest, ExclusiveOpenKeepsEveryOtherOpenOut) {
  HANDLE first = Open(0);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(first));
  Forget(first);
  EXPECT_NE(Open(0), INVALID_HANDLE_VALUE);
}

TEST_F(SerialPortTest, SharingOpensCoexistButRefuseAnExclusiveOne) {
  ASSERT_NE(Open(FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_NE(Open(FILE_SHARE_WRITE | FILE_SHARE_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(SerialPortTest, HandlesAreKernelHandles) {
  HANDLE port = Open(0);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(SetEvent(port));  // not an event
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ASSERT_TRUE(CloseHandle(port));
  Forget(port);
  EXPECT_FALSE(CloseHandle(port));
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(port, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SerialPortTest, DcbRoundTripsAndReachesTheLine) {
  HANDLE port = Open(0);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.fBinary, 1u);
  dcb.BaudRate = CBR_19200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fAbortOnError = 1;  // no termios counterpart: kept as given
  dcb.EvtChar = 0x7E;
  ASSERT_TRUE(SetCommState(port, &dcb));
  DCB back{};
  ASSERT_TRUE(GetCommState(port, &back));
  EXPECT_EQ(memcmp(&dcb, &back, sizeof dcb), 0);

  const int fd = open(pair_.nearEnd().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios line{};
  ASSERT_EQ(tcgetattr(fd, &line), 0);
  close(fd);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
  EXPECT_NE(line.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u);  // raw
}

// A real port takes 7E1; a pseudo-terminal refuses data bits other than 8 and parity,
// so here the call's answer is checked, not the line: refused, and the settings stay.
TEST_F(SerialPortTest, SetCommStateChecksItsValues) {
  HANDLE port = Open(0);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  DCB sevenEven = dcb;
  sevenEven.ByteSize = 7;
  sevenEven.Parity = EVENPARITY;
  EXPECT_FALSE(SetCommState(port, &sevenEven));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DCB bad = dcb;
  bad.ByteSize = 9;
  EXPECT_FALSE(SetCommState(port, &bad));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  bad = dcb;
  bad.BaudRate = 12345;
  EXPECT_FALSE(SetCommState(port, &bad));
  DCB kept{};
  ASSERT_TRUE(GetCommState(port, &kept));
  EXPECT_EQ(kept.ByteSize, 8);
  EXPECT_EQ(kept.Parity, NOPARITY);
}

TEST_F(SerialPortTest, CommCallsOfTheDriversSucceed) {
  HANDLE port = Open(FILE_SHARE_WRITE, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetupComm(port, 32, 32));
  EXPECT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
  EXPECT_TRUE(SetCommMask(port, EV_RXCHAR | EV_RXFLAG));
  DWORD mask = 0;
  EXPECT_TRUE(GetCommMask(port, &mask));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
  COMMTIMEOUTS timeouts{MAXDWORD, 10, 10, 10, 10};
  EXPECT_TRUE(SetCommTimeouts(port, &timeouts));
  COMMTIMEOUTS back{};
  EXPECT_TRUE(GetCommTimeouts(port, &back));
  EXPECT_EQ(memcmp(&timeouts, &back, sizeof back), 0);
  DWORD errors = 1;
  COMSTAT status{};
  EXPECT_TRUE(ClearCommError(port, &errors, &status));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(status.cbInQue, 0u);
}

TEST_F(SerialPortTest, SynchronousWriteAndReadCrossTheLine) {
  FarEnd head(pair_.farEnd());
  HANDLE port = Open(0);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port, "\x81\x01\xFF", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(Hex(head.take()), "81 01 FF");

  ASSERT_TRUE(head.write("ack"));
  COMMTIMEOUTS timeouts{0, 0, 2000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
  char reply[3] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port, reply, 3, &read, nullptr));
  EXPECT_EQ(std::string(reply, read), "ack");
}

TEST_F(SerialPortTest, ReadTimeoutsFollowCommTimeouts) {
  HANDLE port = Open(0);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  char buffer[8];
  DWORD read = 99;
  COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &immediate));
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  COMMTIMEOUTS total{0, 0, 100, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &total));
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(SerialPortTest, OverlappedWriteCompletesThroughItsEvent) {
  FarEnd head(pair_.farEnd());
  HANDLE port = Open(FILE_SHARE_WRITE, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(port, "x", 1, &written, nullptr));  // an overlapped handle needs an OVERLAPPED
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Far more than the two pseudo-terminals and socat buffer while the head does not read.
  std::vector<char> block(4 << 20, 'v');
  const BOOL atOnce = WriteFile(port, block.data(), static_cast<DWORD>(block.size()), &written, &overlapped);
  ASSERT_FALSE(atOnce);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &written, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

  const std::vector<unsigned char> arrived = head.takeCount(block.size(), std::chrono::seconds(20));
  EXPECT_EQ(arrived.size(), block.size());
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(GetOverlappedResult(port, &overlapped, &written, TRUE));
  EXPECT_EQ(written, block.size());

  // A small write completes at once and still sets the event.
  ResetEvent(overlapped.hEvent);
  EXPECT_TRUE(WriteFile(port, "\xA0\x00", 2, &written, &overlapped));
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(Hex(head.take()), "A0 00");
  CloseHandle(overlapped.hEvent);
}

TEST_F(SerialPortTest, ClosingThePortAbortsAPendingWrite) {
  FarEnd head(pair_.farEnd());
  HANDLE port = Open(0, FILE_FLAG_OVERLAPPED);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<char> block(4 << 20, 'w');
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port, block.data(), static_cast<DWORD>(block.size()), &written, &overlapped));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  ASSERT_TRUE(CloseHandle(port));
  Forget(port);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(overlapped.Internal, static_cast<ULONG_PTR>(ERROR_OPERATION_ABORTED));
  EXPECT_LT(overlapped.InternalHigh, block.size());
  CloseHandle(overlapped.hEvent);
}

// socat gone: writes fail with EIO underneath, the port reports an I/O error and the
// device name opens nothing any more.
TEST_F(SerialPortTest, VanishedDeviceFailsCleanly) {
  HANDLE port = Open(0);
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  pair_.stop();
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(port, "\xFF\x01", 2, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  DWORD errors = 0;
  EXPECT_TRUE(ClearCommError(port, &errors, nullptr));
  EXPECT_EQ(errors & CE_IOE, static_cast<DWORD>(CE_IOE));
  COMMTIMEOUTS timeouts{0, 0, 1000, 0, 0};
  SetCommTimeouts(port, &timeouts);
  char buffer[4];
  DWORD read = 0;
  EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(Open(0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
