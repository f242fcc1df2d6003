#include <gtest/gtest.h>

#include "KestroInterfaceIds.h"
#include "KestroUnknownEx.h"
#include "combaseapi.h"

TEST(UnknownExVersion, AcceptsSameMajorMinorAndRevisionUpToOne) {
  for (unsigned long version : {0x01010100UL, 0x01010000UL, 0x010101FFUL, 0x01010155UL}) {
    EXPECT_TRUE(IsUnknownExVersionAccepted(version)) << std::hex << version;
  }
  for (unsigned long version : {0x01010200UL, 0x01020100UL, 0x02010100UL, 0x00010100UL, 0UL}) {
    EXPECT_FALSE(IsUnknownExVersionAccepted(version)) << std::hex << version;
  }
}

// The text forms are checked against the published identifiers: a slipped digit in a
// DEFINE_GUID line would otherwise go unseen, since several differ in one digit only.
TEST(InterfaceIds, MatchTheirPublishedTextForms) {
  const struct {
    const GUID& iid;
    const char* text;
  } table[] = {
      {IID_IUnknownEx, "{92D87E91-5A5B-4A45-8CFD-382FE6B32B0B}"},
      {IID_IQueueServiceEngine, "{BA2C602E-7F5A-40AD-B7A5-7D1C2A8FEE78}"},
      {IID_IQueueServiceSink, "{88B5BF59-3A98-43B1-AC85-F1175B296940}"},
      {IID_ITimerService, "{729D0499-AD36-49D5-8D46-FD0D7882A637}"},
      {IID_ITimerServiceSink, "{729D0499-AD36-49D5-8D46-FD0D7882A631}"},
      {IID_IKestroMemPool, "{BA2C602E-7F5A-40AD-B7A5-7DFC2A8FEE78}"},
      {IID_ISampleRenderSink, "{301800E5-B690-43C4-88C3-322516E7A71F}"},
      {IID_IAudioRealTimeCodec, "{BA2C602E-7F5A-40AD-B7A5-7DFC2A8FCE28}"},
      {IID_IWaveFormInputDevice, "{BA2C602E-7F5A-40AD-CBA5-7DFC2A8FCE78}"},
      {IID_IWaveFormOutputDevice, "{BA2C603E-7F5A-40AD-CBA5-7DFC2A8FCE78}"},
      {IID_ICloudTourControl, "{BA21601E-7F5A-40AD-B7A5-7D1C2A8FEE78}"},
      {IID_IDataBase, "{9E962173-2A9F-4EBD-8E98-40E9965724FB}"},
      {IID_IADOError, "{66463B5A-390C-42F9-8519-13313936FE8F}"},
  };
  for (const auto& row : table) EXPECT_EQ(KcmGuidToString(row.iid), row.text);
  for (const auto& a : table) {
    for (const auto& b : table) {
      if (&a != &b) {
        EXPECT_NE(a.iid, b.iid) << a.text << " " << b.text;
      }
    }
  }
}

namespace {
// {0C0A5C36-5B91-4E31-9D3B-8B9D1E0F7A11}
DEFINE_GUID(IID_IShape, 0x0C0A5C36, 0x5B91, 0x4E31, 0x9D, 0x3B, 0x8B, 0x9D, 0x1E, 0x0F, 0x7A, 0x11);

class IShape : public IUnknownEx {
 public:
  virtual int Corners() = 0;
};

class Base {
 public:
  virtual ~Base() = default;
};

// The interface is the second base: the query must answer its part of the object.
class CSquare : public Base, public IShape {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<IShape>(this, IID_IShape, iid, version);
  }
  int Corners() override { return 4; }
};
}  // namespace

TEST(UnknownExQuery, OwnAndRootIdentifiersAnswerTheInterfacePart) {
  CSquare square;
  void* own = square.Ex_QueryInterface(IID_IShape, KCM_INTERFACE_VERSION);
  EXPECT_EQ(own, static_cast<void*>(static_cast<IShape*>(&square)));
  EXPECT_NE(own, static_cast<void*>(&square));
  EXPECT_EQ(static_cast<IShape*>(own)->Corners(), 4);
  EXPECT_EQ(square.Ex_QueryInterface(IID_IUnknownEx, KCM_INTERFACE_VERSION), own);
}

TEST(UnknownExQuery, UnknownIdentifierOrRefusedVersionAnswersNull) {
  CSquare square;
  EXPECT_EQ(square.Ex_QueryInterface(IID_IDataBase, KCM_INTERFACE_VERSION), nullptr);
  EXPECT_EQ(square.Ex_QueryInterface(IID_IShape, 0x01010200), nullptr);
  EXPECT_EQ(square.Ex_QueryInterface(IID_IUnknownEx, 0x02010100), nullptr);
}
