// kcm [step...]: runs the tour of the library on embedded defaults, or the named steps.
#include <stdio.h>
#include <string.h>

#include "Tour.h"

namespace {

std::vector<TourStep> AllSteps() {
  std::vector<TourStep> steps;
  for (auto part : {PlatformTour, CoreServicesTour, ServicesTour, LoggingTour}) {
    for (TourStep& step : part()) steps.push_back(std::move(step));
  }
  return steps;
}

void PrintUsage(const std::vector<TourStep>& steps) {
  printf("usage: kcm [step...]\n\nWithout a step, every step runs in this order:\n");
  for (const TourStep& step : steps) printf("  %-12s %s\n", step.name.c_str(), step.summary.c_str());
}

bool RunStep(const TourStep& step) {
  printf("== %s: %s\n", step.name.c_str(), step.summary.c_str());
  const bool ok = step.run();
  printf("   %s\n\n", ok ? "ok" : "FAILED");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<TourStep> steps = AllSteps();
  if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    PrintUsage(steps);
    return 0;
  }
  int failures = 0;
  int ran = 0;
  for (const TourStep& step : steps) {
    bool wanted = argc == 1;
    for (int i = 1; i < argc; ++i) wanted = wanted || step.name == argv[i];
    if (!wanted) continue;
    ++ran;
    if (!RunStep(step)) ++failures;
  }
  if (ran == 0) {
    PrintUsage(steps);
    return 2;
  }
  printf("%d of %d steps ok\n", ran - failures, ran);
  return failures == 0 ? 0 : 1;
}
