// The six-message record of a failed check.
#include <QDateTime>
#include <QDebug>
#include <QString>

#include "KestroLog.h"

namespace {

QtMsgType MessageTypeOf(KcmLogType type) {
  switch (type) {
    case KcmLogCritical:
      return QtCriticalMsg;
    case KcmLogWarning:
      return QtWarningMsg;
    default:
      return QtDebugMsg;
  }
}

QString Banner(char filler) { return QString(21, QLatin1Char(filler)) + "error" + QString(31, QLatin1Char(filler)); }

QString TextOrEmpty(const char* text) { return text != nullptr ? QString::fromLocal8Bit(text) : QString(); }

// Each message keeps the trailing space that every streamed item once carried; the
// stream is told neither to add spaces nor to quote, so the text arrives as written.
void Emit(QtMsgType type, const QString& text) { QDebug(type).noquote().nospace() << text << " "; }

}  // namespace

void kcm_logExpression(const char* file, int line, const char* expression, KcmLogType type, bool /*flag*/) {
  const QtMsgType messageType = MessageTypeOf(type);
  const QString now = QDateTime::currentDateTime().toString("yy-MM-dd hh:mm:ss");
  Emit(messageType, Banner('*'));
  Emit(messageType, '"' + now + '"');
  Emit(messageType, "File: " + TextOrEmpty(file));
  Emit(messageType, "LineNo: " + QString::number(line));
  Emit(messageType, "Expression: " + TextOrEmpty(expression));
  Emit(messageType, Banner('-'));
}
