// Collects the Qt messages the library emits while an instance lives, so tests can see
// what was logged. One at a time per process.
#pragma once

#include <QString>
#include <QtGlobal>
#include <mutex>
#include <string>
#include <vector>

namespace kcm_test {

class LogCapture {
 public:
  LogCapture() {
    Current() = this;
    previous_ = qInstallMessageHandler(&LogCapture::Handle);
  }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    Current() = nullptr;
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // How many messages contain `text`.
  int Count(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const std::string& message : messages_) count += message.find(text) != std::string::npos ? 1 : 0;
    return count;
  }

  std::string All() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const std::string& message : messages_) all += message + "\n";
    return all;
  }

 private:
  static LogCapture*& Current() {
    static LogCapture* current = nullptr;
    return current;
  }
  static void Handle(QtMsgType, const QMessageLogContext&, const QString& message) {
    LogCapture* capture = Current();
    if (capture == nullptr) return;
    std::lock_guard<std::mutex> lock(capture->mutex_);
    capture->messages_.push_back(message.toStdString());
  }

  QtMessageHandler previous_ = nullptr;
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

}  // namespace kcm_test
