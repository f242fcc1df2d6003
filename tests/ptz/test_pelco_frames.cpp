// Pelco-D and Pelco-P frames as they arrive at the head, byte for byte.
#include <cstring>

#include "HeadOnPty.h"

using namespace kcm_test;

namespace {

const int kPelcoD = 0;
const int kPelcoP = 1;

using PelcoDFrames = HeadOnPty;
using PelcoPFrames = HeadOnPty;

TEST_F(PelcoDFrames, WorkedExamples) {
  Use(kPelcoD);
  EXPECT_EQ(Send(CloudTourOpStop), "FF 01 00 00 00 00 01");
  EXPECT_EQ(Send(CloudTourOpPanLeft, 6), "FF 01 00 04 3F 3F 83");
}

TEST_F(PelcoDFrames, EveryOperation) {
  Use(kPelcoD);
  EXPECT_EQ(Send(CloudTourOpPanLeft, 3), "FF 01 00 04 1F 1F 43");
  EXPECT_EQ(Send(CloudTourOpPanRight, 3), "FF 01 00 02 1F 1F 41");
  EXPECT_EQ(Send(CloudTourOpTiltUp, 3), "FF 01 00 08 1F 1F 47");
  EXPECT_EQ(Send(CloudTourOpTiltDown, 3), "FF 01 00 10 1F 1F 4F");
  EXPECT_EQ(Send(CloudTourOpZoomWide, 3), "FF 01 00 40 00 00 41");
  EXPECT_EQ(Send(CloudTourOpZoomTele, 3), "FF 01 00 20 00 00 21");
  EXPECT_EQ(Send(CloudTourOpFocus1, 3), "FF 01 00 80 00 00 81");
  EXPECT_EQ(Send(CloudTourOpFocus2, 3), "FF 01 01 00 00 00 02");
  EXPECT_EQ(Send(CloudTourOpStop, 3), "FF 01 00 00 00 00 01");
  EXPECT_EQ(Send(CloudTourOpStorePreset, 3, 5), "FF 01 00 03 00 05 09");
  EXPECT_EQ(Send(CloudTourOpGotoPreset, 3, 5), "FF 01 00 07 00 05 0D");
  EXPECT_EQ(Send(CloudTourOpClearPreset, 3, 5), "FF 01 00 05 00 05 0B");
}

TEST_F(PelcoDFrames, SpeedLevelsScaleAndClamp) {
  Use(kPelcoD);
  EXPECT_EQ(Send(CloudTourOpPanLeft, 7), "FF 01 00 04 49 49 97");    // 73 fits a pan
  EXPECT_EQ(Send(CloudTourOpTiltUp, 7), "FF 01 00 08 3F 3F 87");     // a tilt stops at 63
  EXPECT_EQ(Send(CloudTourOpPanRight, -1), "FF 01 00 02 FF FF 01");  // negative: the maximum
  EXPECT_EQ(Send(CloudTourOpPanRight, 0x7FFFFFFF), "FF 01 00 02 FF FF 01");
  EXPECT_EQ(Send(CloudTourOpTiltDown, -6), "FF 01 00 10 3F 3F 8F");
}

TEST_F(PelcoDFrames, LetterPresetsSendTheRawCommands) {
  Use(kPelcoD, 2);  // address 3 on the wire
  CloudTourOpParam param = OpParam(0, 80);
  const unsigned char first[7] = {0x00, 0x07, 0x00, 0x22};
  const unsigned char second[7] = {0x01, 0x02, 0x03, 0x04};
  memcpy(param.command1, first, sizeof first);
  memcpy(param.command2, second, sizeof second);
  EXPECT_EQ(Send(CloudTourOpGotoPreset, param), "FF 03 00 07 00 22 2C");
  param.preset = 81;
  EXPECT_EQ(Send(CloudTourOpGotoPreset, param), "FF 03 01 02 03 04 0D");
  param.preset = 80 + 256;  // only the low byte counts
  EXPECT_EQ(Send(CloudTourOpGotoPreset, param), "FF 03 00 07 00 22 2C");
  param.preset = 80;  // store and clear take 80 as a number
  EXPECT_EQ(Send(CloudTourOpStorePreset, param), "FF 03 00 03 00 50 56");
  EXPECT_EQ(Send(CloudTourOpClearPreset, param), "FF 03 00 05 00 50 58");
}

TEST_F(PelcoDFrames, IgnoredOperationsSendNothing) {
  Use(kPelcoD);
  EXPECT_EQ(SendNothing(12), "");
  EXPECT_EQ(SendNothing(-1), "");
  EXPECT_EQ(SendNothing(1000), "");
  EXPECT_EQ(control_->doOP(CloudTourOpStop, nullptr), S_OK);
  EXPECT_EQ(head_->takeHex(std::chrono::milliseconds(150)), "");
}

TEST_F(PelcoPFrames, WorkedExample) {
  Use(kPelcoP);
  EXPECT_EQ(Send(CloudTourOpStop), "A0 00 00 00 00 00 AF 0F");
}

TEST_F(PelcoPFrames, EveryOperation) {
  Use(kPelcoP);
  EXPECT_EQ(Send(CloudTourOpPanLeft, 3), "A0 00 00 04 1F 1F AF 0B");
  EXPECT_EQ(Send(CloudTourOpPanRight, 3), "A0 00 00 02 1F 1F AF 0D");
  EXPECT_EQ(Send(CloudTourOpTiltUp, 3), "A0 00 00 08 1F 1F AF 07");
  EXPECT_EQ(Send(CloudTourOpTiltDown, 3), "A0 00 00 10 1F 1F AF 1F");
  EXPECT_EQ(Send(CloudTourOpZoomWide, 3), "A0 00 00 40 00 00 AF 4F");
  EXPECT_EQ(Send(CloudTourOpZoomTele, 3), "A0 00 00 20 00 00 AF 2F");
  EXPECT_EQ(Send(CloudTourOpFocus1, 3), "A0 00 01 00 00 00 AF 0E");
  EXPECT_EQ(Send(CloudTourOpFocus2, 3), "A0 00 02 00 00 00 AF 0D");
  EXPECT_EQ(Send(CloudTourOpStop, 3), "A0 00 00 00 00 00 AF 0F");
  EXPECT_EQ(Send(CloudTourOpStorePreset, 3, 5), "A0 00 00 03 00 05 AF 09");
  EXPECT_EQ(Send(CloudTourOpGotoPreset, 3, 5), "A0 00 00 07 00 05 AF 0D");
  EXPECT_EQ(Send(CloudTourOpClearPreset, 3, 5), "A0 00 00 05 00 05 AF 0F");
}

TEST_F(PelcoPFrames, SpeedLevelsClampToPelcoPLimits) {
  Use(kPelcoP);
  EXPECT_EQ(Send(CloudTourOpPanLeft, 7), "A0 00 00 04 40 40 AF 0B");
  EXPECT_EQ(Send(CloudTourOpTiltUp, 7), "A0 00 00 08 3F 3F AF 07");
  EXPECT_EQ(Send(CloudTourOpPanRight, -1), "A0 00 00 02 40 40 AF 0D");
}

// The letter presets go out as Pelco-D frames under Pelco-P too.
TEST_F(PelcoPFrames, LetterPresetsAreWrittenAsPelcoD) {
  Use(kPelcoP);
  CloudTourOpParam param = OpParam(0, 81);
  const unsigned char second[7] = {0x01, 0x02, 0x03, 0x04};
  memcpy(param.command2, second, sizeof second);
  EXPECT_EQ(Send(CloudTourOpGotoPreset, param), "FF 01 01 02 03 04 0B");
  EXPECT_EQ(Send(CloudTourOpStorePreset, param), "A0 00 00 03 00 51 AF 5D");
}

}  // namespace
