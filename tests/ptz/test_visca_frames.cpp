// VISCA packets as they arrive at the head, and the stop that follows the moves.
#include "HeadOnPty.h"

using namespace kcm_test;

namespace {

const int kVisca = 2;

class ViscaFrames : public HeadOnPty {
 protected:
  void SetUp() override {
    HeadOnPty::SetUp();
    Use(kVisca);
  }
};

TEST_F(ViscaFrames, WorkedExamples) {
  EXPECT_EQ(Send(CloudTourOpPanLeft, 0), "81 01 06 01 03 03 01 03 FF");
  EXPECT_EQ(Send(CloudTourOpStop, 0), "81 01 06 01 03 03 03 03 FF");
  EXPECT_EQ(Send(CloudTourOpStorePreset, 0, 5), "81 01 04 3F 01 05 FF");
  EXPECT_EQ(Send(CloudTourOpZoomTele, 2), "81 01 04 07 21 FF");
}

TEST_F(ViscaFrames, EveryOperation) {
  EXPECT_EQ(Send(CloudTourOpPanLeft, 1), "81 01 06 01 06 06 01 03 FF");
  EXPECT_EQ(Send(CloudTourOpPanRight, 1), "81 01 06 01 06 06 02 03 FF");
  EXPECT_EQ(Send(CloudTourOpTiltUp, 1), "81 01 06 01 06 06 03 01 FF");
  EXPECT_EQ(Send(CloudTourOpTiltDown, 6), "81 01 06 01 15 15 03 02 FF");
  EXPECT_EQ(Send(CloudTourOpZoomWide, 0), "81 01 04 07 33 FF");
  EXPECT_EQ(Send(CloudTourOpZoomTele, 6), "81 01 04 07 25 FF");  // 21 & 7
  EXPECT_EQ(Send(CloudTourOpFocus1, 1), "81 01 04 08 36 FF");    // near
  EXPECT_EQ(Send(CloudTourOpFocus2, 1), "81 01 04 08 26 FF");    // far
  EXPECT_EQ(Send(CloudTourOpStorePreset, 0, 7), "81 01 04 3F 01 07 FF");
  EXPECT_EQ(Send(CloudTourOpGotoPreset, 0, 7), "81 01 04 3F 02 07 FF");
  EXPECT_EQ(Send(CloudTourOpClearPreset, 0, 0x107), "81 01 04 3F 00 07 FF");
}

// The control opens and closes the driver for every operation: the moving flags live on.
TEST_F(ViscaFrames, StopEndsOnlyWhatMoves) {
  EXPECT_EQ(Send(CloudTourOpZoomWide, 0), "81 01 04 07 33 FF");
  EXPECT_EQ(Send(CloudTourOpStop, 0), "81 01 04 07 00 FF");
  EXPECT_EQ(SendNothing(CloudTourOpStop, 0), "");

  EXPECT_EQ(Send(CloudTourOpPanRight, 0), "81 01 06 01 03 03 02 03 FF");
  EXPECT_EQ(Send(CloudTourOpFocus1, 0), "81 01 04 08 33 FF");
  EXPECT_EQ(Send(CloudTourOpStop, 4), "81 01 04 08 00 FF 81 01 06 01 0F 0F 03 03 FF");
}

TEST_F(ViscaFrames, AllThreeStopsInOrder) {
  Send(CloudTourOpTiltUp, 0);
  Send(CloudTourOpZoomTele, 0);
  Send(CloudTourOpFocus2, 0);
  EXPECT_EQ(Send(CloudTourOpStop, 0), "81 01 04 08 00 FF 81 01 04 07 00 FF 81 01 06 01 03 03 03 03 FF");
}

TEST_F(ViscaFrames, SpeedByteWrapsModulo256) {
  EXPECT_EQ(Send(CloudTourOpPanLeft, 85), "81 01 06 01 02 02 01 03 FF");
  EXPECT_EQ(Send(CloudTourOpPanLeft, -1), "81 01 06 01 00 00 01 03 FF");
}

TEST_F(ViscaFrames, LetterPresetsReplaceTheHeader) {
  control_->configure(kPortIndex, 1, kVisca, nullptr, 0);  // camera address 2
  EXPECT_EQ(Send(CloudTourOpGotoPreset, 0, 0x50), "A1 14 00 00 00 00 00 02 FF");
  EXPECT_EQ(Send(CloudTourOpGotoPreset, 0, 0x51), "A1 15 00 00 00 00 00 02 FF");
  EXPECT_EQ(Send(CloudTourOpStorePreset, 0, 0x50), "82 01 04 3F 01 50 FF");
}

TEST_F(ViscaFrames, IgnoredOperationsSendNothing) {
  EXPECT_EQ(SendNothing(12), "");
  EXPECT_EQ(SendNothing(-3), "");
  EXPECT_EQ(control_->doOP(CloudTourOpPanLeft, nullptr), S_OK);
  EXPECT_EQ(head_->takeHex(std::chrono::milliseconds(150)), "");
}

}  // namespace
