#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "KestroSystemHelpers.h"

namespace {

// Points both XDG folders into a temporary directory; the machine-wide one starts absent.
class AutoRun : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(_root.filePath("home")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(_root.filePath("machine")));
  }
  void TearDown() override {
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_DIRS");
  }
  QString entry(const QString& name) const { return _root.filePath("home/autostart/" + name + ".desktop"); }
  QString contents(const QString& name) const {
    QFile file(entry(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

  QTemporaryDir _root;
};

}  // namespace

// Tests the name rule for a null value name (C:\Apps\Tool.exe gives CAppsTool.exe) and
// the entry's Exec line, quoted and escaped so that nothing breaks out of it.
TEST_F(AutoRun, WritesAnEntryThatRunsTheProgram) {
  kcm_regAutoRun(1, L"C:\\Apps\\Tool.exe", nullptr);
  EXPECT_TRUE(contents("CAppsTool.exe").contains("\nExec=\"C:\\\\\\\\Apps\\\\\\\\Tool.exe\"\n"));
  kcm_regAutoRun(1, L"/opt/My App/tool", nullptr);
  EXPECT_TRUE(contents("optMy Apptool").startsWith("[Desktop Entry]\nType=Application\nName=optMy Apptool\n"));
  EXPECT_TRUE(contents("optMy Apptool").contains("\nExec=\"/opt/My App/tool\"\n"));
  kcm_regAutoRun(1, L"/opt/a\"b$c%d", L"Odd");
  EXPECT_TRUE(contents("Odd").contains("\nExec=\"/opt/a\\\\\"b\\\\$c%%d\"\n"));
}

// Tests that disabling removes the entry and that without a program nothing is written.
TEST_F(AutoRun, DisableRemovesTheEntry) {
  kcm_regAutoRun(1, L"/usr/bin/tool", L"MyTool");
  EXPECT_TRUE(QFile::exists(entry("MyTool")));
  kcm_regAutoRun(0, nullptr, L"MyTool");
  EXPECT_FALSE(QFile::exists(entry("MyTool")));
  kcm_regAutoRun(1, nullptr, L"NoProgram");
  EXPECT_FALSE(QFile::exists(entry("NoProgram")));
  kcm_regAutoRun(1, nullptr, nullptr);
}

// Tests that a writable machine-wide folder is preferred, that a name cannot lead
// outside the folder, and that an unusable folder is silent.
TEST_F(AutoRun, ChoosesTheFolderAndStaysInside) {
  kcm_regAutoRun(1, L"/usr/bin/tool", L"../evil");
  EXPECT_TRUE(QFile::exists(entry("..evil")));
  ASSERT_TRUE(QDir().mkpath(_root.filePath("machine/autostart")));
  kcm_regAutoRun(1, L"/usr/bin/tool", L"MyTool");
  EXPECT_TRUE(QFile::exists(_root.filePath("machine/autostart/MyTool.desktop")));
  EXPECT_FALSE(QFile::exists(entry("MyTool")));
  QFile(_root.filePath("file")).open(QIODevice::WriteOnly);
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(_root.filePath("file")));
  qputenv("XDG_CONFIG_DIRS", "/nonexistent");
  kcm_regAutoRun(1, L"/usr/bin/tool", L"MyTool");
  EXPECT_FALSE(QFile::exists(_root.filePath("file/autostart/MyTool.desktop")));
}
