// Directories of loaded modules, and adding one to PATH.
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QString>

#include "KestroSystemHelpers.h"
#include "libloaderapi.h"

namespace {

// The absolute directory of the module's file as Qt writes it, without a trailing '/'.
// A name longer than the buffer is cut, as GetModuleFileNameW cuts it.
QString moduleDirectory(const wchar_t* moduleName, DWORD capacity) {
  std::vector<wchar_t> fileName(capacity, L'\0');
  GetModuleFileNameW(GetModuleHandleW(moduleName), fileName.data(), capacity);
  return QFileInfo(QString::fromWCharArray(fileName.data())).absoluteDir().absolutePath();
}

}  // namespace

std::wstring kcm_getModulePath(const wchar_t* moduleName) { return moduleDirectory(moduleName, 512).toStdWString(); }

void kcm_addModulePathToEnv(const wchar_t* moduleName) {
  std::wstring path = kcm_getEnv(L"PATH");
  if (!path.empty()) path += L':';
  path += moduleDirectory(moduleName, MAX_PATH).toStdWString();
  kcm_setEnv(L"PATH", path.c_str());
}
