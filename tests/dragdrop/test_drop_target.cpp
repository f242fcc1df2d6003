// CIDropTarget, CIDropSource and CDragSourceHelper: effects, drops and the shell helpers.
#include "DragDropTestSupport.h"

using namespace dragdrop_test;

namespace {

// The host's side of a drop: records what OnDrop was given.
class RecordingDropTarget : public CIDropTarget {
 public:
  RecordingDropTarget() : CIDropTarget(nullptr) {}
  bool OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD* effect) override {
    ++drops;
    droppedFormat = format->cfFormat;
    droppedEffect = *effect;
    droppedText = globalText(medium.hGlobal);
    if (!releaseMedium) keptMedium = medium;
    return releaseMedium;
  }

  int drops = 0;
  CLIPFORMAT droppedFormat = 0;
  DWORD droppedEffect = 0;
  std::string droppedText;
  bool releaseMedium = true;
  STGMEDIUM keptMedium{};
};

class DropTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_->AddRef();
    data_->AddRef();
    FORMATETC format = makeFormat(CF_UNICODETEXT);
    STGMEDIUM medium = globalMedium("dropped text");
    ASSERT_EQ(data_->SetData(&format, &medium, TRUE), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(target_->Release(), 0u);
    EXPECT_EQ(data_->Release(), 0u);
    live_.expectUnchanged();
  }

  void acceptText() {
    FORMATETC text = makeFormat(CF_UNICODETEXT);
    target_->AddSuportedFormat(text);
  }
  // The effect DragEnter reports for `allowed` effects and `keys`.
  DWORD enterWith(DWORD allowed, DWORD keys) {
    DWORD effect = allowed;
    EXPECT_EQ(target_->DragEnter(data_, keys, POINTL{1, 2}, &effect), S_OK);
    return effect;
  }

  LiveObjects live_;
  RecordingDropTarget* target_ = new RecordingDropTarget;
  CIDataObject* data_ = new CIDataObject(nullptr);
};

struct EffectCase {
  DWORD allowed;
  DWORD expected[4];  // no keys, Control, Shift, Control+Shift
};

TEST_F(DropTargetTest, DropEffectForEveryKeyCombination) {
  acceptText();
  const DWORD keys[4] = {0, MK_CONTROL, MK_SHIFT, MK_CONTROL | MK_SHIFT};
  const DWORD C = DROPEFFECT_COPY, M = DROPEFFECT_MOVE, L = DROPEFFECT_LINK, N = DROPEFFECT_NONE;
  const EffectCase cases[] = {
      {C | M | L, {C, C, M, L}}, {M | L, {M, N, M, L}}, {C | L, {C, C, N, L}}, {C | M, {C, C, M, N}},
      {C, {C, C, N, N}},         {M, {M, N, M, N}},     {L, {L, N, N, L}},     {N, {N, N, N, N}},
      {DROPEFFECT_SCROLL | M, {M, N, M, N}},
  };
  for (const EffectCase& c : cases) {
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE(::testing::Message() << "allowed " << c.allowed << ", keys " << keys[k]);
      EXPECT_EQ(enterWith(c.allowed, keys[k]), c.expected[k]);
      EXPECT_EQ(enterWith(c.allowed, keys[k] | MK_LBUTTON | MK_RBUTTON | MK_ALT), c.expected[k])
          << "buttons and Alt choose nothing";
      DWORD effect = c.allowed;
      EXPECT_EQ(target_->QueryDrop(keys[k], &effect), c.expected[k] != N);
      DWORD over = c.allowed;
      EXPECT_EQ(target_->DragOver(keys[k], POINTL{3, 4}, &over), S_OK);
      EXPECT_EQ(over, c.expected[k]);
    }
  }
}

TEST_F(DropTargetTest, WithoutASupportedFormatEveryEffectIsNone) {
  EXPECT_EQ(enterWith(DROPEFFECT_COPY | DROPEFFECT_MOVE, 0), DWORD(DROPEFFECT_NONE));
  FORMATETC bitmap = makeFormat(CF_BITMAP, TYMED_GDI);
  target_->AddSuportedFormat(bitmap);
  EXPECT_EQ(enterWith(DROPEFFECT_COPY, MK_CONTROL), DWORD(DROPEFFECT_NONE));
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_FALSE(target_->QueryDrop(0, &effect));
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(target_->Drop(data_, 0, POINTL{}, &effect), S_OK);
  EXPECT_EQ(target_->drops, 0);
}

TEST_F(DropTargetTest, DropHandsTheMediumToOnDropAndReportsNoneToTheSource) {
  FORMATETC bitmap = makeFormat(CF_BITMAP, TYMED_GDI);
  target_->AddSuportedFormat(bitmap);
  acceptText();  // the first format the data offers is matched, whatever its place
  EXPECT_EQ(enterWith(DROPEFFECT_MOVE, 0), DWORD(DROPEFFECT_MOVE));
  DWORD effect = DROPEFFECT_MOVE;
  EXPECT_EQ(target_->Drop(data_, 0, POINTL{5, 6}, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE)) << "the source never sees a completed move";
  EXPECT_EQ(target_->drops, 1);
  EXPECT_EQ(target_->droppedEffect, DWORD(DROPEFFECT_MOVE));
  EXPECT_EQ(target_->droppedFormat, CF_UNICODETEXT);
  EXPECT_EQ(target_->droppedText, "dropped text");
  effect = DROPEFFECT_MOVE;
  EXPECT_EQ(target_->Drop(data_, 0, POINTL{}, &effect), S_OK);
  EXPECT_EQ(target_->drops, 1) << "a drop ends the drag: the next needs a new DragEnter";
}

TEST_F(DropTargetTest, OnDropAnsweringFalseLeavesTheMediumToTheHost) {
  acceptText();
  target_->releaseMedium = false;
  enterWith(DROPEFFECT_COPY, 0);
  DWORD effect = DROPEFFECT_COPY;
  ASSERT_EQ(target_->Drop(data_, 0, POINTL{}, &effect), S_OK);
  EXPECT_EQ(globalText(target_->keptMedium.hGlobal), "dropped text") << "still alive";
  ReleaseStgMedium(&target_->keptMedium);
}

TEST_F(DropTargetTest, DragLeaveForgetsTheMatch) {
  acceptText();
  EXPECT_EQ(enterWith(DROPEFFECT_COPY, 0), DWORD(DROPEFFECT_COPY));
  EXPECT_EQ(target_->DragLeave(), S_OK);
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(target_->DragOver(0, POINTL{}, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
}

TEST_F(DropTargetTest, NullArgumentsAreRefused) {
  acceptText();
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(target_->DragEnter(nullptr, 0, POINTL{}, &effect), E_INVALIDARG);
  EXPECT_EQ(target_->Drop(nullptr, 0, POINTL{}, &effect), E_INVALIDARG);
  EXPECT_EQ(target_->DragEnter(data_, 0, POINTL{}, nullptr), E_INVALIDARG);
  EXPECT_EQ(target_->DragOver(0, POINTL{}, nullptr), E_INVALIDARG);
  EXPECT_FALSE(target_->QueryDrop(0, nullptr));
  EXPECT_EQ(target_->drops, 0);
}

// Hosts call through these slots: IUnknown's three, DragEnter, DragOver, DragLeave, Drop,
// the destructor (two entries in this ABI), then OnDrop.
TEST(DropTargetLayoutTest, OnDropFollowsTheDestructorInTheVirtualTable) {
  const auto slotOf = [](auto member) {
    uintptr_t raw = 0;  // a virtual member pointer holds 1 + the slot's byte offset
    std::memcpy(&raw, &member, sizeof(raw));
    return (raw - 1) / sizeof(void*);
  };
  EXPECT_EQ(slotOf(&CIDropTarget::DragEnter), 3u);
  EXPECT_EQ(slotOf(&CIDropTarget::Drop), 6u);
  EXPECT_EQ(slotOf(&CIDropTarget::OnDrop), 9u);
}

TEST(DropSourceTest, EscapeCancelsAHeldButtonContinuesAndReleaseDrops) {
  CIDropSource source;
  EXPECT_EQ(source.AddRef(), 1u) << "counts start at 0";
  EXPECT_EQ(source.QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source.QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
  EXPECT_EQ(source.QueryContinueDrag(FALSE, MK_RBUTTON | MK_SHIFT), S_OK);
  EXPECT_FALSE(source.m_bDropped);
  EXPECT_EQ(source.QueryContinueDrag(FALSE, MK_MBUTTON | MK_CONTROL), DRAGDROP_S_DROP);
  EXPECT_TRUE(source.m_bDropped);
  EXPECT_EQ(source.GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
}

// A stand-in for the shell's drag-image object, which Linux does not have; it records
// what the library passes on.
class RecordingShellHelper : public IDropTargetHelper, public IDragSourceHelper {
 public:
  static RecordingShellHelper* instance;
  static HRESULT create(IUnknown*, REFIID iid, void** object) { return instance->QueryInterface(iid, object); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = iid == IID_IDropTargetHelper   ? static_cast<IDropTargetHelper*>(this)
              : iid == IID_IDragSourceHelper ? static_cast<void*>(static_cast<IDragSourceHelper*>(this))
                                             : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    ++references;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  STDMETHODIMP DragEnter(HWND window, IDataObject*, POINT* point, DWORD effect) override {
    calls += "enter(" + std::to_string(reinterpret_cast<uintptr_t>(window)) + "," + at(point, effect) + ")";
    return S_OK;
  }
  STDMETHODIMP DragLeave() override {
    calls += "leave ";
    return S_OK;
  }
  STDMETHODIMP DragOver(POINT* point, DWORD effect) override {
    calls += "over(" + at(point, effect) + ")";
    return S_OK;
  }
  STDMETHODIMP Drop(IDataObject*, POINT* point, DWORD effect) override {
    calls += "drop(" + at(point, effect) + ")";
    return S_OK;
  }
  STDMETHODIMP Show(BOOL) override { return S_OK; }
  STDMETHODIMP InitializeFromBitmap(LPSHDRAGIMAGE image, IDataObject*) override {
    lastImage = *image;
    return S_OK;
  }
  STDMETHODIMP InitializeFromWindow(HWND, POINT*, IDataObject*) override { return S_OK; }

  static std::string at(const POINT* point, DWORD effect) {
    return std::to_string(point->x) + "," + std::to_string(point->y) + "," + std::to_string(effect);
  }

  ULONG references = 0;
  std::string calls;
  SHDRAGIMAGE lastImage{};
};
RecordingShellHelper* RecordingShellHelper::instance = nullptr;

class ShellHelperTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ShellHelperTest, WithoutAShellTheHelpersAreAbsent) {
  CDragSourceHelper helper;
  HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
  POINT cursor{1, 1};
  RECT item{0, 0, 4, 4};
  EXPECT_EQ(helper.InitializeFromBitmap(bitmap, cursor, item, nullptr, RGB(255, 0, 255)), E_FAIL);
  EXPECT_EQ(helper.InitializeFromWindow(nullptr, cursor, nullptr), E_FAIL);
  DeleteObject(bitmap);
}

TEST_F(ShellHelperTest, AHelperRegisteredByTheHostIsUsed) {
  RecordingShellHelper shell;
  RecordingShellHelper::instance = &shell;
  ASSERT_EQ(KcmCoRegisterClassFunction(CLSID_DragDropHelper, &RecordingShellHelper::create), S_OK);
  {
    CDragSourceHelper helper;
    HBITMAP bitmap = CreateBitmap(32, 16, 1, 32, nullptr);
    POINT cursor{110, 57};
    RECT item{100, 50, 132, 66};
    EXPECT_EQ(helper.InitializeFromBitmap(bitmap, cursor, item, nullptr, RGB(1, 2, 3)), S_OK);
    EXPECT_EQ(shell.lastImage.sizeDragImage.cx, 32);
    EXPECT_EQ(shell.lastImage.sizeDragImage.cy, 16);
    EXPECT_EQ(shell.lastImage.ptOffset.x, 10);
    EXPECT_EQ(shell.lastImage.ptOffset.y, 7);
    EXPECT_EQ(shell.lastImage.hbmpDragImage, bitmap);
    EXPECT_EQ(shell.lastImage.crColorKey, RGB(1, 2, 3));
    DeleteObject(bitmap);

    CIDataObject data(nullptr);
    RecordingDropTarget target;
    DWORD effect = DROPEFFECT_COPY;
    target.DragEnter(&data, 0, POINTL{1, 2}, &effect);
    effect = DROPEFFECT_MOVE;
    target.DragOver(0, POINTL{3, 4}, &effect);
    target.DragLeave();
    effect = DROPEFFECT_LINK;
    target.Drop(&data, 0, POINTL{5, 6}, &effect);
    EXPECT_EQ(shell.calls, "enter(0,1,2,1)over(3,4,2)leave drop(5,6,4)");
  }
  EXPECT_EQ(shell.references, 0u) << "both wrappers released the shell object";
  EXPECT_EQ(KcmCoRevokeClass(CLSID_DragDropHelper), S_OK);
}

}  // namespace
