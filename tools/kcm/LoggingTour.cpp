// Tour step of logging: a failed check written to the log file beside the executable.
#include <stdio.h>

#include <fstream>
#include <string>

#include "KestroCommonModule.h"
#include "Tour.h"

namespace {

bool LogFileStep() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string logPath = std::string(path) + ".txt";
  std::remove(logPath.c_str());
  kcm_setDefaultLogFile();
  kcm_logExpression("src\\kcm", __LINE__, "\"hr = E_FAIL\"", KcmLogCritical, true);
  kcm_logExpression("src\\kcm", __LINE__, "\"a warning stays out of the file\"", KcmLogWarning, true);
  std::ifstream log(logPath);
  int lines = 0;
  printf("   %s:\n", logPath.c_str());
  for (std::string line; std::getline(log, line); ++lines) printf("   | %s\n", line.c_str());
  return lines == 6;
}

}  // namespace

std::vector<TourStep> LoggingTour() {
  return {{"log", "a failed check recorded in <executable>.txt", LogFileStep}};
}
