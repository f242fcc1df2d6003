// CEnumFormatEtc: position, edge cases and clones.
#include "DragDropTestSupport.h"

using namespace dragdrop_test;

namespace {

class EnumFormatEtcTest : public ::testing::Test {
 protected:
  void SetUp() override { formats_->AddRef(); }
  void TearDown() override { EXPECT_EQ(formats_->Release(), 0u); }

  std::vector<FORMATETC> three_{makeFormat(CF_TEXT), makeFormat(CF_DIB), makeFormat(CF_HDROP)};
  CEnumFormatEtc* formats_ = new CEnumFormatEtc(three_);
};

TEST_F(EnumFormatEtcTest, NextAnswersSFalseWithoutCopyingForRequestsItCannotServe) {
  FORMATETC out[3] = {};
  ULONG fetched = 99;
  EXPECT_EQ(formats_->Next(0, out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u) << "zeroed first";
  EXPECT_EQ(formats_->Next(1, nullptr, &fetched), S_FALSE);
  EXPECT_EQ(formats_->Next(2, out, nullptr), S_FALSE) << "more than one needs a fetched count";
  EXPECT_EQ(out[0].cfFormat, 0) << "nothing copied";
  EXPECT_EQ(formats_->Next(1, out, nullptr), S_OK) << "one item may go without a count";
  EXPECT_EQ(out[0].cfFormat, CF_TEXT);
}

TEST_F(EnumFormatEtcTest, NextDeliversWhatIsLeftAndSaysWhenItFellShort) {
  FORMATETC out[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(formats_->Next(2, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(formats_->Next(4, out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(out[0].cfFormat, CF_HDROP);
  EXPECT_EQ(formats_->Next(1, out, &fetched), S_FALSE) << "at the end";
  EXPECT_EQ(fetched, 0u);
}

TEST_F(EnumFormatEtcTest, SkipToOrPastTheEndFailsWithoutMoving) {
  EXPECT_EQ(formats_->Skip(1), S_OK);
  EXPECT_EQ(formats_->Skip(2), S_FALSE) << "exactly the remaining entries";
  EXPECT_EQ(formats_->Skip(0xFFFFFFFF), S_FALSE);
  FORMATETC out{};
  EXPECT_EQ(formats_->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, CF_DIB) << "the index stayed after the first skip";
  EXPECT_EQ(formats_->Reset(), S_OK);
  EXPECT_EQ(formats_->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, CF_TEXT);
}

TEST_F(EnumFormatEtcTest, CloneStartsAtTheSamePlaceAndMovesOnItsOwn) {
  EXPECT_EQ(formats_->Clone(nullptr), E_POINTER);
  ASSERT_EQ(formats_->Skip(1), S_OK);
  IEnumFORMATETC* clone = nullptr;
  ASSERT_EQ(formats_->Clone(&clone), S_OK);
  FORMATETC out{};
  EXPECT_EQ(clone->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, CF_DIB);
  EXPECT_EQ(clone->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(formats_->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, CF_DIB) << "the original did not move with its clone";
  EXPECT_EQ(clone->Release(), 0u) << "the clone came with one reference";
}

TEST_F(EnumFormatEtcTest, EmptyListEndsAtOnce) {
  CEnumFormatEtc empty(std::vector<FORMATETC>{});
  FORMATETC out{};
  ULONG fetched = 5;
  EXPECT_EQ(empty.Next(1, &out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(empty.Skip(0), S_FALSE);
}

}  // namespace
