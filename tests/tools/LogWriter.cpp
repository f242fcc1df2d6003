// kcm_log_writer: a host process that logs what its arguments say, so that each log-file
// scenario starts in a fresh process (the handler's message counter starts at load).
//
//   set               kcm_setDefaultLogFile()
//   expr:<type>       kcm_logExpression("src\\LogWriter", 115, "\"hr = E_FAIL\"", type, true)
//   nullexpr          kcm_logExpression(nullptr, 7, nullptr, KcmLogCritical, true)
//   debug:<text>      qDebug, likewise warning:, critical:
//   pad:<bytes>       grow the log file to <bytes> bytes behind the handler's back
//   threads:<n>:<m>   n threads each log m records at once
#include <stdlib.h>
#include <string.h>

#include <QDebug>
#include <QFile>
#include <string>
#include <thread>
#include <vector>

#include "KestroLog.h"
#include "libloaderapi.h"

namespace {

bool StartsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

std::string After(const std::string& text, char separator) { return text.substr(text.find(separator) + 1); }

void PadLogFile(qint64 bytes) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  QFile file(QString::fromLocal8Bit(path) + ".txt");
  file.open(QIODevice::ReadWrite);
  file.resize(bytes);
}

void LogFromThreads(int threads, int records) {
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([records] {
      for (int r = 0; r < records; ++r) kcm_logExpression("src\\LogWriter", r, "\"hr = E_FAIL\"", KcmLogCritical, true);
    });
  }
  for (std::thread& worker : workers) worker.join();
}

void Run(const std::string& command) {
  if (command == "set") {
    kcm_setDefaultLogFile();
  } else if (command == "nullexpr") {
    kcm_logExpression(nullptr, 7, nullptr, KcmLogCritical, true);
  } else if (StartsWith(command, "expr:")) {
    kcm_logExpression("src\\LogWriter", 115, "\"hr = E_FAIL\"", static_cast<KcmLogType>(atoi(After(command, ':').c_str())), true);
  } else if (StartsWith(command, "debug:")) {
    qDebug("%s", After(command, ':').c_str());
  } else if (StartsWith(command, "warning:")) {
    qWarning("%s", After(command, ':').c_str());
  } else if (StartsWith(command, "critical:")) {
    qCritical("%s", After(command, ':').c_str());
  } else if (StartsWith(command, "pad:")) {
    PadLogFile(atoll(After(command, ':').c_str()));
  } else if (StartsWith(command, "threads:")) {
    const std::string counts = After(command, ':');
    LogFromThreads(atoi(counts.c_str()), atoi(After(counts, ':').c_str()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) Run(argv[i]);
  return 0;
}
