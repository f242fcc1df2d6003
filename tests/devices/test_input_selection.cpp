// A capture card's private input selection: the connector types it knows reach its
// eighteenth slot with the card's own codes; others, and devices without it, do nothing.
#include <gtest/gtest.h>

#include <vector>

#include "DeviceTestSupport.h"
#include "streams.h"

namespace {

using kcm_test::DeviceGraph;
using kcm_test::DeviceTest;

DEFINE_GUID(IID_CardInputSelect, 0x60F58A81, 0xA387, 0x4922, 0xAA, 0xAC, 0x99, 0x8B, 0xD9, 0xFB, 0xE1, 0xAA);

// The card's interface as far as we know it: fourteen slots nobody calls, then the input
// selection.
struct ICardInputSelect : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused13() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused15() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused16() = 0;
  virtual HRESULT STDMETHODCALLTYPE SelectInput(long code, long reserved1, long reserved2) = 0;
};

// A capture card we do not have: a pinless filter that records its input selections.
class CaptureCardDouble : public CBaseFilter, public ICardInputSelect {
 public:
  CaptureCardDouble() : CBaseFilter(NAME("capture card double"), nullptr, &lock_, GUID_NULL) {}
  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_CardInputSelect) return GetInterface(static_cast<ICardInputSelect*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
  }
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }

  HRESULT STDMETHODCALLTYPE Unused3() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused4() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused5() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused6() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused7() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused8() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused9() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused10() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused11() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused12() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused13() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused14() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused15() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE Unused16() override { return unexpected(); }
  HRESULT STDMETHODCALLTYPE SelectInput(long code, long reserved1, long reserved2) override {
    EXPECT_EQ(0, reserved1);
    EXPECT_EQ(0, reserved2);
    codes.push_back(code);
    return S_OK;
  }

  std::vector<long> codes;

 private:
  HRESULT unexpected() {
    ADD_FAILURE() << "a slot other than the input selection was called";
    return E_UNEXPECTED;
  }
  CCritSec lock_;
};

TEST_F(DeviceTest, CardInputSelectionGetsTheCardsCodes) {
  CaptureCardDouble* card = new CaptureCardDouble();
  card->AddRef();
  DeviceGraph graph;
  for (long type : {PhysConn_Video_Composite, PhysConn_Video_SVideo, PhysConn_Video_RGB, PhysConn_Video_YRYBY,
                    PhysConn_Video_SerialDigital, PhysConn_Video_Tuner, PhysConn_Audio_Line}) {
    EXPECT_EQ(S_OK, graph.configPhysicalType_3rdParty(card, type));
  }
  EXPECT_EQ((std::vector<long>{2, 3, 0, 1, 4}), card->codes);
  EXPECT_EQ(S_OK, graph.configPhysicalType_3rdParty(nullptr, PhysConn_Video_Composite));
  card->Release();
}

}  // namespace
