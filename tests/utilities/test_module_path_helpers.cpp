#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "KestroSystemHelpers.h"

namespace {

QString canonical(const std::wstring& path) { return QFileInfo(QString::fromStdWString(path)).canonicalFilePath(); }

}  // namespace

// Tests the directories of the executable and of a module named the Windows way.
TEST(ModulePath, AnswersTheModulesDirectory) {
  const std::wstring executable = kcm_getModulePath(nullptr);
  EXPECT_EQ(canonical(executable), QFileInfo("/proc/self/exe").canonicalFilePath().section('/', 0, -2));
  EXPECT_EQ(executable.front(), L'/');
  EXPECT_NE(executable.back(), L'/');
  Dl_info library{};
  dladdr(reinterpret_cast<void*>(&kcm_getModulePath), &library);
  EXPECT_EQ(canonical(kcm_getModulePath(L"KestroCommonModule.dll")), QFileInfo(library.dli_fname).canonicalPath());
}

// Tests that the directory is appended with ':' every time, and alone to an empty PATH.
TEST(ModulePath, AddModulePathAppendsToPath) {
  const QByteArray saved = qgetenv("PATH");
  const std::wstring directory = kcm_getModulePath(nullptr);
  qputenv("PATH", "/usr/bin");
  kcm_addModulePathToEnv(nullptr);
  kcm_addModulePathToEnv(nullptr);
  EXPECT_EQ(kcm_getEnv(L"PATH"), L"/usr/bin:" + directory + L":" + directory);
  qunsetenv("PATH");
  kcm_addModulePathToEnv(nullptr);
  EXPECT_EQ(kcm_getEnv(L"PATH"), directory);
  qputenv("PATH", saved);
}

// Tests that all of a directory path, or a file path's directories, are created; a
// path under a file and a null path fail silently.
TEST(MakesureExistDir, CreatesEveryMissingDirectory) {
  QTemporaryDir root;
  kcm_makesureExistDir(root.filePath("a/b/c/file.txt").toStdWString().c_str(), 0);
  EXPECT_TRUE(QFileInfo(root.filePath("a/b/c")).isDir());
  EXPECT_FALSE(QFileInfo::exists(root.filePath("a/b/c/file.txt")));
  kcm_makesureExistDir(root.filePath("d/e").toStdWString().c_str(), 1);
  EXPECT_TRUE(QFileInfo(root.filePath("d/e")).isDir());
  QFile(root.filePath("plain")).open(QIODevice::WriteOnly);
  kcm_makesureExistDir(root.filePath("plain/sub").toStdWString().c_str(), 1);
  EXPECT_FALSE(QFileInfo::exists(root.filePath("plain/sub")));
  kcm_makesureExistDir(nullptr, 1);
}
