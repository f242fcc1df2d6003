// The steps of kcm's tour of the library; each prints what it did and answers success.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Settings some steps take from kcm's command line.
struct TourOptions {
  std::string input;   // convert: a YUY2 frame file; colour bars when empty
  std::string output;  // convert: where the RGB32 frame goes; decode: where the raw I420 pictures go (PCM: .pcm)
  bool md5 = false;    // decode: print one MD5 per picture and block of sound as ffmpeg's framemd5 does
  int width = 1280;  // convert, graph: the frame size
  int height = 720;
  // ptz: without a port the bytes are shown on a pseudo-terminal; without an op the demo runs
  int ptzPort = 0;  // COM number
  int ptzAddress = 0;
  std::string ptzProtocol = "pelco-d";
  std::string ptzOp;
  int ptzSpeed = 3;
  int ptzPreset = 1;
  std::vector<std::string> arguments;  // the free elements after a step that takes them (db)
  std::string silkBitRate, silkRate, silkFraming = "tencent";  // silk encode/decode, checked there
};
TourOptions& Options();

struct TourStep {
  std::string name;
  std::string summary;
  std::function<bool()> run;
  bool takesArguments = false;  // the elements after its name are its arguments, not steps
};

std::vector<TourStep> CoreServicesTour();
std::vector<TourStep> PlatformTour();
std::vector<TourStep> LoggingTour();
std::vector<TourStep> ServicesTour();
std::vector<TourStep> ConvertTour();
std::vector<TourStep> GraphTour();
std::vector<TourStep> SystemTour();
std::vector<TourStep> DatabaseTour();
std::vector<TourStep> PtzTour();
std::vector<TourStep> SilkTour();
std::vector<TourStep> DecodeTour();
std::vector<TourStep> AudioTour();
std::vector<TourStep> DevicesTour();
