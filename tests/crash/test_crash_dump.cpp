#include <QString>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "CrashTestSupport.h"

namespace {

// Collects the Qt messages emitted while it lives.
class MessageCapture {
 public:
  MessageCapture() { previous_ = qInstallMessageHandler(&MessageCapture::collect); }
  ~MessageCapture() { qInstallMessageHandler(previous_); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  static std::string text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  static void collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (type == QtCriticalMsg) text_ += message.toStdString() + "\n";
  }

  QtMessageHandler previous_;
  static inline std::mutex mutex_;
  static inline std::string text_;
};

__attribute__((noinline)) void DumpOutOfMemory(const char* file, int line) {
  CONTEXT context;
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record{};
  record.ExceptionCode = STATUS_NO_MEMORY;
  record.ExceptionAddress = reinterpret_cast<PVOID>(context.Rip);
  record.NumberParameters = 1;
  record.ExceptionInformation[0] = 4096;
  EXCEPTION_POINTERS pointers{&record, &context};
  se_translator::no_memory error(&pointers);
  EXPECT_TRUE(ZT_Dump_Se_translator(file, line, error));
}

}  // namespace

TEST(CrashDump, AccessViolationRecordNamesTheFaultAndItsStack) {
  MessageCapture capture;
  kcm_test::RunUnderTranslator([] {
    try {
      kcm_test::WriteThroughNull();
    } catch (se_translator::access_violation& error) {
      EXPECT_TRUE(ZT_Dump_Access_violation("tests\\crash", 42, error));
    }
  });
  const std::string text = capture.text();
  EXPECT_NE(text.find("File: tests\\crash \n"), std::string::npos) << text;
  EXPECT_NE(text.find("LineNo: 42 \n"), std::string::npos) << text;
  const size_t at = text.find("Expression: Access Violation at 0x");
  ASSERT_NE(at, std::string::npos) << text;
  // Sixteen upper-case digits of the faulting instruction's address.
  EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF", at + 34), at + 50) << text;
  EXPECT_NE(text.find(", thread attempts to write at 0x0\nstack trace : \n"), std::string::npos) << text;
  EXPECT_NE(text.find("CrashTestSupport.cpp("), std::string::npos) << text;
  EXPECT_NE(text.find(") : kcm_crash_tests at kcm_test::WriteThroughNull()\n"), std::string::npos) << text;
  EXPECT_NE(text.find("test_crash_dump.cpp("), std::string::npos) << text;
  EXPECT_NE(text.find("CrashDump_AccessViolationRecordNamesTheFaultAndItsStack_Test::TestBody()"), std::string::npos)
      << text;
}

TEST(CrashDump, OutOfMemoryRecordGivesTheSize) {
  MessageCapture capture;
  DumpOutOfMemory("tests\\crash", 7);
  const std::string text = capture.text();
  EXPECT_NE(text.find("Expression: No Memory at 0x"), std::string::npos) << text;
  EXPECT_NE(text.find(", unable to allocate 4096 bytes\nstack trace : \n"), std::string::npos) << text;
  EXPECT_NE(text.find("at (anonymous namespace)::DumpOutOfMemory()\n"), std::string::npos) << text;
  EXPECT_NE(text.find("CrashDump_OutOfMemoryRecordGivesTheSize_Test::TestBody()"), std::string::npos) << text;
}
