// The process environment through wide strings, with the %NAME% expansion of Windows.
//
// Qt's environment functions are used so that our changes are serialised with Qt's own
// readers. Names are case-sensitive, as the Linux environment is.
#include <QByteArray>
#include <QString>

#include "KestroSystemHelpers.h"

namespace {

QByteArray variableName(const wchar_t* name) { return QString::fromWCharArray(name).toLocal8Bit(); }

// ExpandEnvironmentStrings' rule, in one pass: %NAME% of an existing variable becomes its
// value; otherwise "%NAME" stays as written and the closing '%' may open a reference.
QString expandReferences(const QString& text) {
  QString result;
  int position = 0;
  while (position < text.size()) {
    const int open = text.indexOf(QLatin1Char('%'), position);
    const int close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
    if (close < 0) return result + text.mid(position);
    result += text.mid(position, open - position);
    const QByteArray name = text.mid(open + 1, close - open - 1).toLocal8Bit();
    if (!name.isEmpty() && qEnvironmentVariableIsSet(name.constData())) {
      result += qEnvironmentVariable(name.constData());
      position = close + 1;
    } else {
      result += text.mid(open, close - open);
      position = close;
    }
  }
  return result;
}

}  // namespace

std::wstring kcm_getEnv(const wchar_t* name) {
  if (name == nullptr) return std::wstring();
  const QByteArray key = variableName(name);
  if (key.isEmpty() || !qEnvironmentVariableIsSet(key.constData())) return std::wstring();
  return expandReferences(qEnvironmentVariable(key.constData())).toStdWString();
}

void kcm_setEnv(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr) return;
  const QByteArray key = variableName(name);
  if (key.isEmpty() || key.contains('=')) return;
  if (value == nullptr)
    qunsetenv(key.constData());
  else
    qputenv(key.constData(), QString::fromWCharArray(value).toLocal8Bit());
}
