// CDragDropBridge: Qt's (MIME type, bytes) pairs and drag events through a drop target.
#include "KestroDragDropBridge.h"

#include "DragDropTestSupport.h"

using namespace dragdrop_test;

namespace {

// A host's target that takes dropped URI lists.
class UriListTarget : public CIDropTarget {
 public:
  UriListTarget() : CIDropTarget(nullptr) {
    FORMATETC uriList = CDragDropBridge::formatEtc("text/uri-list");
    AddSuportedFormat(uriList);
  }
  bool OnDrop(FORMATETC*, STGMEDIUM& medium, DWORD* effect) override {
    dropped = CDragDropBridge::mediumBytes(medium);
    droppedAction = CDragDropBridge::dropAction(*effect);
    return true;
  }
  QByteArray dropped;
  Qt::DropAction droppedAction = Qt::IgnoreAction;
};

const CDragDropBridge::MimeDataList kDragged = {
    {"text/plain", QByteArray("file.txt")},
    {"text/uri-list", QByteArray("file:///tmp/file.txt\r\n")},
    {"application/octet-stream", QByteArray("\0\1\2", 3)},
};

TEST(DragDropBridgeTest, MimeDataSurvivesADataObjectInOrder) {
  LiveObjects live;
  IDataObject* data = CDragDropBridge::createDataObject(kDragged);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(CDragDropBridge::mimeData(data), kDragged);
  FORMATETC plain = CDragDropBridge::formatEtc("text/plain");
  EXPECT_GE(plain.cfFormat, 0xC000);
  EXPECT_EQ(CDragDropBridge::mimeType(plain.cfFormat), "text/plain");
  EXPECT_EQ(data->QueryGetData(&plain), S_OK);
  EXPECT_EQ(data->Release(), 0u);
  live.expectUnchanged();
}

TEST(DragDropBridgeTest, ADropThroughTheBridge) {
  LiveObjects live;
  UriListTarget* target = new UriListTarget;
  target->AddRef();
  IDataObject* data = CDragDropBridge::createDataObject(kDragged);
  const Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction;
  EXPECT_EQ(CDragDropBridge::dragEnter(target, data, possible, Qt::NoModifier, Qt::LeftButton, QPoint(10, 20)),
            Qt::CopyAction);
  EXPECT_EQ(CDragDropBridge::dragMove(target, possible, Qt::ControlModifier | Qt::ShiftModifier, Qt::LeftButton,
                                      QPoint(11, 21)),
            Qt::IgnoreAction)
      << "Control+Shift asks for a link, which the source does not allow";
  EXPECT_EQ(CDragDropBridge::dragMove(target, possible, Qt::ShiftModifier, Qt::LeftButton, QPoint(12, 22)),
            Qt::MoveAction);
  EXPECT_EQ(CDragDropBridge::drop(target, data, possible, Qt::ShiftModifier, Qt::NoButton, QPoint(12, 22)), S_OK);
  EXPECT_EQ(target->dropped, QByteArray("file:///tmp/file.txt\r\n"));
  EXPECT_EQ(target->droppedAction, Qt::MoveAction);
  EXPECT_EQ(data->Release(), 0u);
  EXPECT_EQ(target->Release(), 0u);
  live.expectUnchanged();
}

TEST(DragDropBridgeTest, DataWithoutAnAcceptedTypeIsIgnored) {
  LiveObjects live;
  UriListTarget* target = new UriListTarget;
  target->AddRef();
  IDataObject* data = CDragDropBridge::createDataObject({{"text/plain", "only text"}});
  EXPECT_EQ(CDragDropBridge::dragEnter(target, data, Qt::CopyAction, Qt::NoModifier, Qt::LeftButton, QPoint()),
            Qt::IgnoreAction);
  EXPECT_EQ(CDragDropBridge::drop(target, data, Qt::CopyAction, Qt::NoModifier, Qt::NoButton, QPoint()), S_OK);
  EXPECT_TRUE(target->dropped.isEmpty());
  CDragDropBridge::dragLeave(target);
  data->Release();
  target->Release();
  live.expectUnchanged();
}

TEST(DragDropBridgeTest, BadInputsAreRefusedWithoutLeaks) {
  LiveObjects live;
  EXPECT_EQ(CDragDropBridge::createDataObject({{"text/plain", "x"}, {"", "no type"}}), nullptr);
  EXPECT_TRUE(CDragDropBridge::mimeData(nullptr).isEmpty());
  EXPECT_EQ(CDragDropBridge::drop(nullptr, nullptr, Qt::CopyAction, Qt::NoModifier, Qt::NoButton, QPoint()),
            E_INVALIDARG);
  EXPECT_EQ(CDragDropBridge::dragEnter(nullptr, nullptr, Qt::CopyAction, Qt::NoModifier, Qt::NoButton, QPoint()),
            Qt::IgnoreAction);
  EXPECT_TRUE(CDragDropBridge::mediumBytes(STGMEDIUM{}).isEmpty());
  EXPECT_EQ(CDragDropBridge::clipboardFormat(QString()), 0);
  EXPECT_TRUE(CDragDropBridge::mimeType(CF_TEXT).isEmpty());
  live.expectUnchanged();
}

TEST(DragDropBridgeTest, StreamMediaAreReadFromTheirStart) {
  LiveObjects live;
  STGMEDIUM medium{};
  medium.tymed = TYMED_ISTREAM;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &medium.pstm), S_OK);
  medium.pstm->Write("streamed", 8, nullptr);
  EXPECT_EQ(CDragDropBridge::mediumBytes(medium), QByteArray("streamed"));
  ReleaseStgMedium(&medium);
  live.expectUnchanged();
}

}  // namespace
