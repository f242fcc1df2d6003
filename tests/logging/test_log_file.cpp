// The log file, read back as written by a separate host process (kcm_log_writer).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libloaderapi.h"

extern char** environ;

namespace {

std::string WriterPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string writer(path);
  return writer.substr(0, writer.rfind('/') + 1) + "kcm_log_writer";
}

std::string LogPath() { return WriterPath() + ".txt"; }

// Runs the writer with `commands`; answers its process id (its main thread's id too).
pid_t RunWriter(std::vector<std::string> commands, const char* stderrPath = "/dev/null") {
  std::vector<char*> argv;
  std::string program = WriterPath();
  argv.push_back(program.data());
  for (std::string& command : commands) argv.push_back(command.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return pid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "[Sat Dec 5 20:04:19 2026][1234]"
const std::string kStamp = R"(\[[A-Z][a-z]{2} [A-Z][a-z]{2} \d{1,2} \d{2}:\d{2}:\d{2} \d{4}\]\[\d+\])";

const char* const kRecordTexts[] = {
    "\\*{21}error\\*{31} ",
    "\"\\d{2}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\" ",
    "File: src\\\\LogWriter ",
    "LineNo: 115 ",
    "Expression: \"hr = E_FAIL\" ",
    "-{21}error-{31} ",
};

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override { std::remove(LogPath().c_str()); }
  void TearDown() override { std::remove(LogPath().c_str()); }
};

}  // namespace

TEST_F(LogFile, CriticalRecordIsSixStampedLinesEndingInSpaceAndLineFeed) {
  const pid_t pid = RunWriter({"set", "expr:1"});
  const std::string content = ReadFile(LogPath());
  EXPECT_EQ(content.find('\r'), std::string::npos);
  const std::vector<std::string> lines = ReadLines(LogPath());
  ASSERT_EQ(lines.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(kStamp + "Critical: " + kRecordTexts[i]))) << lines[i];
    EXPECT_NE(lines[i].find("][" + std::to_string(pid) + "]"), std::string::npos) << lines[i];
  }
}

TEST_F(LogFile, DebugAndUnknownTypesWriteDebugLinesWarningsNothing) {
  RunWriter({"set", "expr:2", "warning:dropped", "expr:0", "expr:7", "debug:plain", "critical:loud"});
  const std::vector<std::string> lines = ReadLines(LogPath());
  ASSERT_EQ(lines.size(), 14u);
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(kStamp + "Debug: " + kRecordTexts[i % 6]))) << lines[i];
  }
  EXPECT_TRUE(std::regex_match(lines[12], std::regex(kStamp + "Debug: plain")));
  EXPECT_TRUE(std::regex_match(lines[13], std::regex(kStamp + "Critical: loud")));
}

TEST_F(LogFile, WarningsAloneCreateNoFile) {
  RunWriter({"set", "expr:2", "warning:dropped"});
  EXPECT_FALSE(std::ifstream(LogPath()).good());
}

TEST_F(LogFile, NullFileAndExpressionPrintEmpty) {
  RunWriter({"set", "nullexpr"});
  const std::vector<std::string> lines = ReadLines(LogPath());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(kStamp + "Critical: File:  ")));
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(kStamp + "Critical: Expression:  ")));
}

TEST_F(LogFile, WithoutTheHandlerRecordGoesToStandardErrorNotTheFile) {
  const std::string errors = WriterPath() + ".stderr";
  RunWriter({"expr:1"}, errors.c_str());
  EXPECT_FALSE(std::ifstream(LogPath()).good());
  const std::string text = ReadFile(errors);
  EXPECT_NE(text.find("LineNo: 115"), std::string::npos);
  EXPECT_NE(text.find("Expression: \"hr = E_FAIL\""), std::string::npos);
  std::remove(errors.c_str());
}

// Tests that the first message's size check keeps a file of exactly the cap.
TEST_F(LogFile, FileOfExactlyTheCapSurvivesTheFirstCheck) {
  RunWriter({"pad:31457280", "set", "debug:first"});
  EXPECT_GT(ReadFile(LogPath()).size(), 31457280u);
}

TEST_F(LogFile, FileOneByteOverTheCapIsDeletedBeforeTheLine) {
  RunWriter({"pad:31457281", "set", "debug:first"});
  const std::vector<std::string> lines = ReadLines(LogPath());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(kStamp + "Debug: first")));
}

// Tests that the size is checked again on the eleventh written message, and that
// warnings in between do not count.
TEST_F(LogFile, SizeIsCheckedAgainEveryTenthWrittenMessage) {
  std::vector<std::string> commands = {"set", "debug:1", "pad:31457281"};
  for (int i = 2; i <= 10; ++i) {
    commands.push_back("debug:" + std::to_string(i));
    commands.push_back("warning:not counted");
  }
  commands.push_back("debug:11");
  RunWriter(commands);
  const std::vector<std::string> lines = ReadLines(LogPath());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(kStamp + "Debug: 11")));
}

// Tests that lines of two threads never tear, though their records may interleave.
TEST_F(LogFile, ConcurrentRecordsKeepWholeLines) {
  RunWriter({"set", "threads:2:50"});
  const std::vector<std::string> lines = ReadLines(LogPath());
  ASSERT_EQ(lines.size(), 2u * 50u * 6u);
  const std::regex whole(kStamp + "Critical: (\\*{21}error\\*{31}|\"[-0-9: ]{17}\"|File: src\\\\LogWriter|"
                                  "LineNo: \\d+|Expression: \"hr = E_FAIL\"|-{21}error-{31}) ");
  for (const std::string& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}
