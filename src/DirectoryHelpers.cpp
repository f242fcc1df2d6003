// kcm_makesureExistDir: every missing directory of a path.
#include <QDir>
#include <QString>

#include "KestroSystemHelpers.h"

void kcm_makesureExistDir(const wchar_t* path, int isDirectory) {
  if (path == nullptr) return;
  QString target = QString::fromWCharArray(path);
  // A file name stands after the last separator; for a directory path, make one up.
  if (isDirectory != 0) target += QLatin1String("/tmp.tmp");
  const QString directories = target.left(target.lastIndexOf(QLatin1Char('/')) + 1);
  if (!directories.isEmpty()) QDir().mkpath(directories);
}
