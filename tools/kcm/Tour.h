// The steps of kcm's tour of the library; each prints what it did and answers success.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct TourStep {
  std::string name;
  std::string summary;
  std::function<bool()> run;
};

std::vector<TourStep> CoreServicesTour();
std::vector<TourStep> PlatformTour();
std::vector<TourStep> LoggingTour();
std::vector<TourStep> ServicesTour();
