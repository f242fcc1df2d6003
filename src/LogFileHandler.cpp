// The Qt message handler that appends the process's messages to the log file.
#include <string.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTextStream>
#include <QtGlobal>

#include "KestroLog.h"
#include "KestroThreadLock.h"
#include "libloaderapi.h"
#include "processthreadsapi.h"

namespace {

constexpr qint64 kMaximumLogFileSize = 31457280;  // 30 MiB
constexpr int kMessagesPerSizeCheck = 10;

char g_logFilePath[MAX_PATH];
int32_t g_messageCounter = 0;  // messages written or tried since the library loaded

// Created on the handler's first call, destroyed at process exit.
CThreadLock& HandlerLock() {
  static CThreadLock lock;
  return lock;
}

const char* LinePrefixOf(QtMsgType type) {
  switch (type) {
    case QtDebugMsg:
      return "Debug: ";
    case QtCriticalMsg:
      return "Critical: ";
    case QtFatalMsg:
      return "Fatal: ";
    default:
      return nullptr;  // warnings (and anything else) are not written
  }
}

void DeleteOversizedLogFile(const QString& path) {
  if (QFileInfo(path).size() > kMaximumLogFileSize) QFile::remove(path);
}

// Binary append: the line ends in a single line feed.
void AppendLine(const QString& path, const QString& line) {
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Append);
  {
    QTextStream stream(&file);
    stream << line;
  }
  file.close();
}

void LogFileHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  CThreadLockHandle guard(&HandlerLock(), true);
  const char* prefix = LinePrefixOf(type);
  if (prefix == nullptr) return;
  const QString line = QString("[%1]").arg(QDateTime::currentDateTime().toString(Qt::TextDate)) +
                       QString("[%1]").arg(GetCurrentThreadId()) + prefix + message + '\n';
  const QString path = QString::fromLocal8Bit(g_logFilePath);
  if (g_messageCounter % kMessagesPerSizeCheck == 0) DeleteOversizedLogFile(path);
  ++g_messageCounter;
  AppendLine(path, line);
}

}  // namespace

void kcm_setDefaultLogFile() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  static const char kSuffix[] = ".txt";
  if (length == 0 || length + sizeof kSuffix > MAX_PATH) {
    qWarning("kcm_setDefaultLogFile: the executable's path with \".txt\" does not fit in %d characters; "
             "no log file is written",
             MAX_PATH);
    return;
  }
  {
    CThreadLockHandle guard(&HandlerLock(), true);
    memcpy(g_logFilePath, path, length);
    memcpy(g_logFilePath + length, kSuffix, sizeof kSuffix);
  }
  qInstallMessageHandler(LogFileHandler);
}
