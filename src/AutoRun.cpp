// kcm_regAutoRun: the Run registry value of Windows as an XDG autostart entry.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include "KestroSystemHelpers.h"

namespace {

// A registry value name may hold '/', a file name may not.
QString valueNameOf(const wchar_t* programPath, const wchar_t* valueName) {
  if (valueName != nullptr) return QString::fromWCharArray(valueName).remove(QLatin1Char('/'));
  if (programPath == nullptr) return QString();
  return QString::fromWCharArray(programPath)
      .remove(QLatin1Char('\\'))
      .remove(QLatin1Char('/'))
      .remove(QLatin1Char(':'));
}

// XDG base directories: relative values are invalid and fall back to the default.
QString absoluteOr(const QString& path, const QString& fallback) {
  return QDir::isAbsolutePath(path) ? path : fallback;
}

QString machineAutostartFolder() {
  const QString first = qEnvironmentVariable("XDG_CONFIG_DIRS").section(QLatin1Char(':'), 0, 0);
  return absoluteOr(first, QStringLiteral("/etc/xdg")) + QLatin1String("/autostart");
}

// Empty without an absolute $XDG_CONFIG_HOME or $HOME.
QString userAutostartFolder() {
  const QString home = qEnvironmentVariable("HOME");
  const QString fallback = QDir::isAbsolutePath(home) ? home + QLatin1String("/.config") : QString();
  const QString base = absoluteOr(qEnvironmentVariable("XDG_CONFIG_HOME"), fallback);
  return base.isEmpty() ? QString() : base + QLatin1String("/autostart");
}

// The machine-wide folder is taken as the local machine's Run key was: only when it
// exists and opens for writing.
QString autostartFolder() {
  const QString machine = machineAutostartFolder();
  if (QFileInfo(machine).isDir() && access(QFile::encodeName(machine).constData(), W_OK) == 0) return machine;
  return userAutostartFolder();
}

// The escapes of a desktop-entry string value.
QString escapeString(QString text) {
  return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
      .replace(QLatin1Char('\n'), QLatin1String("\\n"))
      .replace(QLatin1Char('\t'), QLatin1String("\\t"))
      .replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

// Exec holds a command line: the program is one quoted argument with the quoting
// escapes inside, '%' doubled so that it is no field code, then the string escapes.
QString execValue(QString program) {
  for (const char special : {'\\', '"', '`', '$'})
    program.replace(QLatin1Char(special), QString(QLatin1Char('\\')) + QLatin1Char(special));
  program.replace(QLatin1Char('%'), QLatin1String("%%"));
  return escapeString(QLatin1Char('"') + program + QLatin1Char('"'));
}

// Written to a temporary file and renamed, so a reader never sees half an entry.
void writeEntry(const QString& fileName, const QString& name, const QString& program) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) return;
  const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n")
                            .arg(escapeString(name), execValue(program));
  file.write(entry.toUtf8());
  file.commit();
}

}  // namespace

void kcm_regAutoRun(int enable, const wchar_t* programPath, const wchar_t* valueName) {
  const QString name = valueNameOf(programPath, valueName);
  const QString folder = autostartFolder();
  if (name.isEmpty() || folder.isEmpty()) return;
  const QString fileName = folder + QLatin1Char('/') + name + QLatin1String(".desktop");
  if (enable == 0) {
    QFile::remove(fileName);
    return;
  }
  if (programPath == nullptr || !QDir().mkpath(folder)) return;
  writeEntry(fileName, name, QString::fromWCharArray(programPath));
}
