#include "KestroCmdLineParser.h"

#include <unistd.h>

#include <QTranslator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Outcome {
  std::string values;  // "key=value:type ..." in key order
  std::string error;
};

std::string Dump(const QMap<QString, QVariant>& values) {
  QStringList entries;
  for (auto it = values.begin(); it != values.end(); ++it) {
    entries << it.key() + "=" + it.value().toString() + ":" + it.value().typeName();
  }
  return entries.join(' ').toStdString();
}

// Braced initialisers run in order: the error is read after the parse.
Outcome Parse(const QCmdLineParser& parser, const QStringList& args) {
  QString error;
  return {Dump(parser.parse(QStringList("prog") + args, &error)), error.toStdString()};
}

Outcome ParseArgv(const QCmdLineParser& parser, std::vector<const char*> argv) {
  argv.insert(argv.begin(), "prog");
  QString error;
  return {Dump(parser.parse(static_cast<int>(argv.size()), argv.data(), &error)), error.toStdString()};
}

// -o stores (alias --output), -v counts, -q is a flag, -n stores digits only.
QCmdLineParser ToolParser() {
  QCmdLineParser parser("Converts frames.");
  parser.setApplicationName("tool");
  parser.addOption("-o", QCmdLineArgument::Store, "output file", "--output");
  parser.addOption("-v", QCmdLineArgument::Count, "more output", "--verbose");
  parser.addOption("-q", "quiet");
  QCmdLineArgument frames("-n", QCmdLineArgument::Store, "frames");
  frames.setValidator(QRegExp("[0-9]+"));
  parser.addOption(frames);
  return parser;
}

// Marks every text it is asked for in the parser's context, so that a test sees which
// texts went through the translation.
class MarkingTranslator : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char*, int) const override {
    return QByteArray(context) == "QCmdLineParser" ? "<" + QString(source) + ">" : QString();
  }
};

}  // namespace

TEST(CmdLineArgument, KeyNameAliasesValidatorAndDeepCopy) {
  QCmdLineArgument output("--output", QCmdLineArgument::Store, "file");
  EXPECT_EQ(output.keyName(), "output");
  QCmdLineArgument copy(output);
  copy.addAlias("-o").setKeyName("target");
  copy.setValidator(QRegExp("[0-9]+"));
  EXPECT_EQ(copy.aliases(), QStringList({"--output", "-o"}));
  EXPECT_EQ(copy.keyName(), "target");
  EXPECT_TRUE(copy.validate("42"));
  EXPECT_FALSE(copy.validate("42a"));  // the whole value must match
  // The original keeps its own record.
  EXPECT_EQ(output.aliases(), QStringList({"--output"}));
  EXPECT_EQ(output.keyName(), "output");
  EXPECT_TRUE(output.validate("42a"));
}

TEST(CmdLineParser, CountsAndFlags) {
  const QCmdLineParser parser = ToolParser();
  EXPECT_EQ(Parse(parser, {"-vvv"}).values, "v=3:int");
  EXPECT_EQ(Parse(parser, {"-v", "--verbose"}).values, "v=2:int");
  EXPECT_EQ(Parse(parser, {"-qv"}).values, "q=true:bool v=1:int");
  EXPECT_EQ(Parse(parser, {}).values, "");
  EXPECT_EQ(Parse(parser, {"-"}).values, "");  // a group of no letters
  // A flag never takes the next element as its value.
  EXPECT_EQ(Parse(parser, {"-q", "file"}).error, "Unrecognized argument: file");
}

TEST(CmdLineParser, StoreTakesTheRestOfItsGroupOrTheNextElement) {
  const QCmdLineParser parser = ToolParser();
  EXPECT_EQ(Parse(parser, {"-ofile"}).values, "o=file:QString");
  EXPECT_EQ(Parse(parser, {"-of"}).values, "o=f:QString");
  EXPECT_EQ(Parse(parser, {"-o", "file"}).values, "o=file:QString");
  EXPECT_EQ(Parse(parser, {"--output", "-v"}).values, "o=-v:QString");
  EXPECT_EQ(Parse(parser, {"-vqo", "file", "-v"}).values, "o=file:QString q=true:bool v=2:int");
  EXPECT_EQ(Parse(parser, {"-v", "-o"}).error, "Argument -o: expected one argument");
  EXPECT_EQ(Parse(parser, {"-v", "-o"}).values, "");
}

TEST(CmdLineParser, EachMessageOfAMalformedCommandLine) {
  const QCmdLineParser parser = ToolParser();
  EXPECT_EQ(Parse(parser, {"-xv"}).error, "Unknown argument: -xv");
  EXPECT_EQ(Parse(parser, {"-n", "abc"}).error, "Invalid format for argument -n");
  EXPECT_EQ(Parse(parser, {"-v", "frames.yuv"}).error, "Unrecognized argument: frames.yuv");
  // The list form does not split at '='; "--" is then an unknown one-letter option.
  EXPECT_EQ(Parse(parser, {"--output=a"}).error, "Unknown argument: --output=a");
  // Within one element the last error wins; the next element is never reached.
  EXPECT_EQ(Parse(parser, {"-xo"}).error, "Argument -o: expected one argument");
  EXPECT_EQ(Parse(parser, {"-x", "-o"}).error, "Unknown argument: -x");
  // A rejected value is still consumed.
  EXPECT_EQ(Parse(parser, {"-n", "abc", "-o"}).error, "Invalid format for argument -n");
}

TEST(CmdLineParser, ArgvFormSplitsAtTheFirstUnescapedEquals) {
  const QCmdLineParser parser = ToolParser();
  EXPECT_EQ(ParseArgv(parser, {"--output=a.txt"}).values, "o=a.txt:QString");
  EXPECT_EQ(ParseArgv(parser, {"--output="}).values, "o=:QString");
  EXPECT_EQ(ParseArgv(parser, {"--output=a=b"}).values, "o=a=b:QString");
  EXPECT_EQ(ParseArgv(parser, {"-o\\=x"}).values, "o==x:QString");  // one element "-o=x"
  EXPECT_EQ(ParseArgv(parser, {"--output=a\\=b"}).values, "o=a\\=b:QString");  // after the split, as typed
  EXPECT_EQ(ParseArgv(parser, {"-q=x"}).error, "Unrecognized argument: x");
  EXPECT_EQ(ParseArgv(parser, {"a=b"}).error, "Unrecognized argument: a=b");
  EXPECT_EQ(ParseArgv(parser, {"-v", nullptr}).error, "Unrecognized argument: ");
  EXPECT_TRUE(parser.parse(0, nullptr).isEmpty());
  EXPECT_TRUE(parser.parse(QStringList()).isEmpty());
}

TEST(CmdLineParser, LaterOptionTakesOverANameAndPositionalsAreOnlyKept) {
  QCmdLineParser parser = ToolParser();
  parser.addOption("-O", QCmdLineArgument::StoreTrue, "overwrite", "--output");
  parser.addOption(QCmdLineArgument("file", QCmdLineArgument::Store, "input"));
  EXPECT_EQ(Parse(parser, {"--output"}).values, "O=true:bool");
  EXPECT_EQ(Parse(parser, {"-o", "x"}).values, "o=x:QString");
  EXPECT_EQ(Parse(parser, {"x"}).error, "Unrecognized argument: x");
  EXPECT_EQ(parser.usage(), "Usage: tool [-h] [-o O] [-v] [-q] [-n N] [-O]");
}

TEST(CmdLineParser, DisabledHelpIsUnknownAndLeavesTheOtherOptionsInPlace) {
  QCmdLineParser parser = ToolParser();
  parser.disableHelpOption();
  parser.disableHelpOption();  // a second call changes nothing
  EXPECT_EQ(Parse(parser, {"-h"}).error, "Unknown argument: -h");
  EXPECT_EQ(Parse(parser, {"--help"}).error, "Unknown argument: --help");
  EXPECT_EQ(Parse(parser, {"-o", "x", "--verbose", "-n7", "-q"}).values, "n=7:QString o=x:QString q=true:bool v=1:int");
  parser.addOption("-h", "height");  // now an ordinary flag: no help, no exit
  EXPECT_EQ(Parse(parser, {"-qh"}).values, "h=true:bool q=true:bool");
  EXPECT_EQ(parser.usage(), "Usage: tool [-o O] [-v] [-q] [-n N] [-h]");
}

TEST(CmdLineParser, UsageAndHelpTexts) {
  QCmdLineParser bare;
  EXPECT_EQ(bare.usage(), "Usage:  [-h]");  // no application name
  EXPECT_EQ(bare.help(), "Usage:  [-h]\n\nOptional arguments:\n  -h, --help  show this help message and exit\n");

  QCmdLineParser parser = ToolParser();
  EXPECT_EQ(parser.help(),
            "Usage: tool [-h] [-o O] [-v] [-q] [-n N]\n\n"
            "Converts frames.\n\n"
            "Optional arguments:\n"
            "  -h, --help        show this help message and exit\n"
            "  -o O, --output O  output file\n"
            "  -v, --verbose     more output\n"
            "  -q                quiet\n"
            "  -n N              frames\n");
  const QCmdLineParser before = parser;
  parser.setUsage("tool [options]");
  EXPECT_EQ(parser.usage(), "tool [options]");
  EXPECT_TRUE(parser.help().startsWith("tool [options]\n\nConverts frames.\n\n"));
  EXPECT_EQ(before.usage(), "Usage: tool [-h] [-o O] [-v] [-q] [-n N]");  // copies are deep
}

TEST(CmdLineParser, EveryTextGoesThroughTheParsersTranslationContext) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QCoreApplication> application;
  if (QCoreApplication::instance() == nullptr) application = std::make_unique<QCoreApplication>(argc, argv);
  MarkingTranslator translator;
  QCoreApplication::installTranslator(&translator);
  EXPECT_EQ(QCmdLineParser().help(), "<Usage: > [-h]\n\n<Optional arguments:\n>  -h, --help  <show this help message and exit>\n");
  const QCmdLineParser parser = ToolParser();
  EXPECT_EQ(Parse(parser, {"x"}).error, "<Unrecognized argument: x>");
  EXPECT_EQ(Parse(parser, {"-x"}).error, "<Unknown argument: -x>");
  EXPECT_EQ(Parse(parser, {"-o"}).error, "<Argument -o: expected one argument>");
  EXPECT_EQ(Parse(parser, {"-nx"}).error, "<Invalid format for argument -n>");
  QCoreApplication::removeTranslator(&translator);
}

// The process-ending paths: the child's standard output is sent to its standard error,
// where the death test reads it.
class CmdLineParserExit : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  static void ParseToStderr(const QCmdLineParser& parser, const QStringList& args, QString* error = nullptr) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    parser.parse(args, error);
  }
};

TEST_F(CmdLineParserExit, ErrorWithoutAnErrorStringPrintsUsageAndExitsWithOne) {
  QCmdLineParser parser;
  parser.addOption("-o", QCmdLineArgument::Store, "output file", "--output");
  EXPECT_EXIT(ParseToStderr(parser, {"./prog", "-x"}), testing::ExitedWithCode(1),
              "Usage: \\./prog \\[-h\\] \\[-o O\\]\n\\./prog: Unknown argument: -x\n");
  parser.setApplicationName("tool");
  EXPECT_EXIT(ParseToStderr(parser, {"./prog", "-o"}), testing::ExitedWithCode(1),
              "Usage: tool \\[-h\\] \\[-o O\\]\n\\./prog: Argument -o: expected one argument\n");
}

TEST_F(CmdLineParserExit, HelpPrintsTheHelpTextAndExitsWithZero) {
  const QCmdLineParser parser = ToolParser();
  const char* expected = "Usage: tool \\[-h\\] \\[-o O\\] \\[-v\\] \\[-q\\] \\[-n N\\]\n\nConverts frames\\.\n\n"
                         "Optional arguments:\n  -h, --help        show this help message and exit\n";
  EXPECT_EXIT(ParseToStderr(parser, {"prog", "-vh"}), testing::ExitedWithCode(0), expected);
  QString error;
  EXPECT_EXIT(ParseToStderr(parser, {"prog", "--help"}, &error), testing::ExitedWithCode(0), expected);
  // An error wins over a request for help.
  EXPECT_EQ(Parse(parser, {"-h", "-x"}).error, "Unknown argument: -x");
}
