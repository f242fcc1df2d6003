// Driver behaviour the control does not show: repeated opens, close without open.
#include "CloudTourControlDriverPelco.h"
#include "CloudTourControlDriverVisca.h"
#include "HeadOnPty.h"

using namespace kcm_test;

namespace {

const wchar_t kPort[] = L"\\\\.\\COM23";

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pair_.ok());
    MapComPort(23, pair_.nearEnd());
    head_ = std::make_unique<FarEnd>(pair_.farEnd());
  }
  SocatPair pair_;
  std::unique_ptr<FarEnd> head_;
};

TEST_F(DriverTest, PelcoSecondOpenOnlyTakesTheNewAddress) {
  CCloudTourControlDriverPelco_D driver;
  ASSERT_EQ(driver.open(kPort, 1), S_OK);
  ASSERT_EQ(driver.open(kPort, 5), S_OK);
  CloudTourOpParam param = OpParam(0);
  EXPECT_EQ(driver.doOP(CloudTourOpStop, &param), S_OK);
  EXPECT_EQ(head_->takeHex(), "FF 05 00 00 00 00 05");
  EXPECT_EQ(driver.close(), S_OK);
}

TEST_F(DriverTest, PelcoSendsNothingWhileClosed) {
  CCloudTourControlDriverPelco_P driver;
  CloudTourOpParam param = OpParam(0);
  EXPECT_EQ(driver.doOP(CloudTourOpStop, &param), S_OK);
  EXPECT_EQ(head_->takeHex(std::chrono::milliseconds(150)), "");
  EXPECT_EQ(driver.close(), S_OK);
}

TEST_F(DriverTest, PelcoOpenFailureClosesAndReports) {
  CCloudTourControlDriverPelco_D driver;
  EXPECT_EQ(driver.open(L"\\\\.\\COM0", 1), E_FAIL);
  EXPECT_EQ(driver.open(kPort, 1), S_OK);  // nothing was left half open
}

TEST_F(DriverTest, ViscaCloseWithoutOpenAnswers255) {
  CCloudTourControlDriverVisca driver;
  EXPECT_EQ(driver.close(), 255);
  ASSERT_EQ(driver.open(kPort, 1), S_OK);
  EXPECT_EQ(driver.close(), 0);
  EXPECT_EQ(driver.close(), 255);
}

// VISCA holds its port exclusively, as on Windows.
TEST_F(DriverTest, ViscaPortIsExclusive) {
  CCloudTourControlDriverVisca first;
  CCloudTourControlDriverVisca second;
  ASSERT_EQ(first.open(kPort, 1), S_OK);
  testing::internal::CaptureStderr();
  EXPECT_EQ(second.open(kPort, 1), E_FAIL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open serial device"), std::string::npos);
  EXPECT_EQ(first.close(), 0);
}

}  // namespace
