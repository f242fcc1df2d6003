// kcm [-l] [step...]: runs the tour of the library on embedded defaults, or the named steps.
#include <stdio.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "KestroCmdLineParser.h"
#include "Tour.h"

namespace {

std::vector<TourStep> AllSteps() {
  std::vector<TourStep> steps;
  for (auto part : {PlatformTour, CoreServicesTour, ServicesTour, ConvertTour, GraphTour, SystemTour, PtzTour, DatabaseTour, SilkTour, AudioTour, DevicesTour, DecodeTour, LoggingTour}) {
    for (TourStep& step : part()) steps.push_back(std::move(step));
  }
  return steps;
}

bool IsStep(const std::vector<TourStep>& steps, const std::string& name) {
  return std::any_of(steps.begin(), steps.end(), [&](const TourStep& step) { return step.name == name; });
}

// The description of the help text: what kcm does and every step in the order they run.
QString Description(const std::vector<TourStep>& steps) {
  int width = 0;
  for (const TourStep& step : steps) width = std::max(width, static_cast<int>(step.name.size()));
  QString text = "Runs the tour of the library on embedded defaults, or the named steps.\n\n"
                 "Without a step, every step runs in this order:";
  for (const TourStep& step : steps) text += QString::asprintf("\n  %-*s  %s", width, step.name.c_str(), step.summary.c_str());
  return text;
}

// The parser refuses elements that do not begin with '-': those are the step names.
struct CommandLine {
  std::vector<const char*> options;  // the program, then every option
  std::vector<std::string> steps;
};

// The options that take a value in the next element ("-s 640x480").
bool TakesValue(const char* option) {
  static const std::set<std::string> kValueOptions = {
      "-i", "-o", "-s", "--input", "--output", "--size", "--port", "--address", "--protocol", "--op", "--speed", "--preset",
      "--bitrate", "--rate", "--framing"};
  return kValueOptions.count(option) != 0;
}

CommandLine Split(int argc, char** argv) {
  CommandLine line;
  for (int i = 0; i < argc; ++i) {
    const bool valueOfOption = i > 1 && argv[i - 1][0] == '-' && TakesValue(argv[i - 1]);
    if (i == 0 || argv[i][0] == '-' || valueOfOption) {
      line.options.push_back(argv[i]);
    } else {
      line.steps.push_back(argv[i]);
    }
  }
  return line;
}

// The elements after a step that takes arguments ("db \"SELECT 1\" my.db") are its own.
void TakeStepArguments(const std::vector<TourStep>& steps, std::vector<std::string>* names) {
  for (size_t i = 0; i < names->size(); ++i) {
    const auto step = std::find_if(steps.begin(), steps.end(), [&](const TourStep& s) { return s.name == (*names)[i]; });
    if (step == steps.end() || !step->takesArguments) continue;
    Options().arguments.assign(names->begin() + i + 1, names->end());
    names->resize(i + 1);
    return;
  }
}

int Refuse(const QCmdLineParser& parser, const QString& message) {
  printf("%s\nkcm: %s\n", qPrintable(parser.usage()), qPrintable(message));
  return 2;
}

bool RunStep(const TourStep& step) {
  printf("== %s: %s\n", step.name.c_str(), step.summary.c_str());
  const bool ok = step.run();
  printf("   %s\n\n", ok ? "ok" : "FAILED");
  return ok;
}

// Runs the wanted steps, or all of them, in tour order.
int RunTour(const std::vector<TourStep>& steps, const std::vector<std::string>& wanted) {
  int failures = 0;
  int ran = 0;
  for (const TourStep& step : steps) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), step.name) == wanted.end()) continue;
    ++ran;
    if (!RunStep(step)) ++failures;
  }
  printf("%d of %d steps ok\n", ran - failures, ran);
  return failures == 0 ? 0 : 1;
}

// The ptz step's numbers; the protocol and the operation are checked by the step.
bool ApplyPtzOptions(const QMap<QString, QVariant>& options, QString* error) {
  TourOptions& tour = Options();
  const struct {
    const char* key;
    int* value;
  } numbers[] = {{"port", &tour.ptzPort}, {"address", &tour.ptzAddress}, {"speed", &tour.ptzSpeed},
                 {"preset", &tour.ptzPreset}};
  for (const auto& number : numbers) {
    if (!options.contains(number.key)) continue;
    bool ok = false;
    *number.value = options.value(number.key).toString().toInt(&ok);
    if (!ok) {
      *error = QString("Bad --%1: %2 (want a number)").arg(number.key, options.value(number.key).toString());
      return false;
    }
  }
  if (options.contains("protocol")) tour.ptzProtocol = options.value("protocol").toString().toStdString();
  if (options.contains("op")) tour.ptzOp = options.value("op").toString().toStdString();
  return true;
}

void AddPtzOptions(QCmdLineParser* parser) {
  const struct {
    const char* name;
    const char* help;
  } ptzOptions[] = {
      {"--port", "ptz: the COM port number of a real head (none: show the bytes on a pseudo-terminal)"},
      {"--address", "ptz: the head address as the control takes it, 0 for the first head (0)"},
      {"--protocol", "ptz: pelco-d, pelco-p or visca, or 0-2 (pelco-d)"},
      {"--op", "ptz: left right up down wide tele focus1 focus2 stop store goto clear, or 0-11"},
      {"--speed", "ptz: speed level, 0-6 span the range (3)"},
      {"--preset", "ptz: preset number; goto 80/81 are the letter presets (1)"},
  };
  for (const auto& option : ptzOptions) parser->addOption(QCmdLineArgument(option.name, QCmdLineArgument::Store, option.help));
}

bool ApplyOptions(const QMap<QString, QVariant>& options, QString* error) {
  TourOptions& tour = Options();
  // Keys are the first names without their dashes.
  if (options.contains("i")) tour.input = options.value("i").toString().toStdString();
  if (options.contains("o")) tour.output = options.value("o").toString().toStdString();
  tour.md5 = options.contains("md5") && options.value("md5").toBool();
  if (!ApplyPtzOptions(options, error)) return false;
  if (options.contains("bitrate")) tour.silkBitRate = options.value("bitrate").toString().toStdString();
  if (options.contains("rate")) tour.silkRate = options.value("rate").toString().toStdString();
  if (options.contains("framing")) tour.silkFraming = options.value("framing").toString().toStdString();
  if (!options.contains("s")) return true;
  const QStringList size = options.value("s").toString().split('x');
  const int width = size.size() == 2 ? size[0].toInt() : 0;
  const int height = size.size() == 2 ? size[1].toInt() : 0;
  if (width < 2 || height < 1 || width > 16384 || height > 16384) {
    *error = QString("Bad frame size: %1 (want WIDTHxHEIGHT)").arg(options.value("s").toString());
    return false;
  }
  tour.width = width;
  tour.height = height;
  return true;
}

}  // namespace

TourOptions& Options() {
  static TourOptions options;
  return options;
}

int main(int argc, char** argv) {
  const std::vector<TourStep> steps = AllSteps();
  QCmdLineParser parser(Description(steps));
  parser.setApplicationName("kcm");
  parser.addOption("-l", QCmdLineArgument::StoreTrue, "list the step names and exit", "--list");
  parser.addOption("-i", QCmdLineArgument::Store, "convert: a YUY2 frame file (colour bars when absent)",
                   "--input");
  parser.addOption("-o", QCmdLineArgument::Store, "convert: the RGB32 file to write; decode: the raw I420 file, 16-bit PCM in <file>.pcm (in <file> without video)", "--output");
  parser.addOption(QCmdLineArgument("--md5", QCmdLineArgument::StoreTrue, "decode: print MD5s per picture and per block of sound as ffmpeg -f framemd5"));
  parser.addOption("-s", QCmdLineArgument::Store, "convert, graph: the frame size, WIDTHxHEIGHT (1280x720)", "--size");
  AddPtzOptions(&parser);
  parser.addOption(QCmdLineArgument("--bitrate", QCmdLineArgument::Store, "silk encode: target bit/s, 5000-100000 (24000)"));
  parser.addOption(QCmdLineArgument("--rate", QCmdLineArgument::Store, "silk decode: output rate in Hz, 8000-48000 (24000)"));
  parser.addOption(QCmdLineArgument("--framing", QCmdLineArgument::Store, "silk encode: tencent (0x02 first) or skype (tencent)"));
  parser.setUsage(parser.usage() + " [step...]");

  CommandLine line = Split(argc, argv);
  QString error;
  // Prints the help text and exits on -h or --help.
  const QMap<QString, QVariant> options = parser.parse(static_cast<int>(line.options.size()), line.options.data(), &error);
  if (!error.isEmpty()) return Refuse(parser, error);
  if (options.contains("l")) {
    for (const TourStep& step : steps) puts(step.name.c_str());
    return 0;
  }
  if (!ApplyOptions(options, &error)) return Refuse(parser, error);
  TakeStepArguments(steps, &line.steps);
  for (const std::string& name : line.steps) {
    if (!IsStep(steps, name)) return Refuse(parser, QString("Unknown step: %1").arg(QString::fromLocal8Bit(name.c_str())));
  }
  return RunTour(steps, line.steps);
}
