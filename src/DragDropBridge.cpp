// CDragDropBridge: Qt drag events and (MIME type, bytes) pairs in OLE terms.
#include "KestroDragDropBridge.h"

#include <cstring>
#include <string>

namespace {

constexpr int kMaxFormatName = 256;

// A movable global block holding `bytes`; null when memory runs out.
HGLOBAL globalFromBytes(const QByteArray& bytes) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, SIZE_T(bytes.size()));
  if (memory == nullptr) return nullptr;
  if (!bytes.isEmpty()) std::memcpy(GlobalLock(memory), bytes.constData(), size_t(bytes.size()));
  GlobalUnlock(memory);
  return memory;
}

QByteArray bytesFromGlobal(HGLOBAL memory) {
  const char* data = static_cast<const char*>(GlobalLock(memory));
  if (data == nullptr) return QByteArray();
  QByteArray bytes(data, qsizetype(GlobalSize(memory)));
  GlobalUnlock(memory);
  return bytes;
}

QByteArray bytesFromStream(IStream* stream) {
  QByteArray bytes;
  LARGE_INTEGER start{};
  if (stream == nullptr || FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return bytes;
  char chunk[4096];
  ULONG read = 0;
  while (SUCCEEDED(stream->Read(chunk, sizeof(chunk), &read)) && read > 0) bytes.append(chunk, qsizetype(read));
  return bytes;
}

POINTL toPointL(const QPoint& point) { return POINTL{LONG(point.x()), LONG(point.y())}; }

}  // namespace

CLIPFORMAT CDragDropBridge::clipboardFormat(const QString& mimeType) {
  if (mimeType.isEmpty()) return 0;
  return CLIPFORMAT(RegisterClipboardFormatW(mimeType.toStdWString().c_str()));
}

QString CDragDropBridge::mimeType(CLIPFORMAT format) {
  wchar_t name[kMaxFormatName];
  const int length = GetClipboardFormatNameW(format, name, kMaxFormatName);
  return QString::fromWCharArray(name, length);
}

FORMATETC CDragDropBridge::formatEtc(const QString& mimeType) {
  return FORMATETC{clipboardFormat(mimeType), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

IDataObject* CDragDropBridge::createDataObject(const MimeDataList& data) {
  auto* object = new (std::nothrow) CIDataObject(nullptr);
  if (object == nullptr) return nullptr;
  object->AddRef();
  for (const auto& pair : data) {
    FORMATETC format = formatEtc(pair.first);
    STGMEDIUM medium{TYMED_HGLOBAL, {}, nullptr};
    medium.hGlobal = globalFromBytes(pair.second);
    if (format.cfFormat == 0 || medium.hGlobal == nullptr || FAILED(object->SetData(&format, &medium, TRUE))) {
      ReleaseStgMedium(&medium);
      object->Release();
      return nullptr;
    }
  }
  return object;
}

CDragDropBridge::MimeDataList CDragDropBridge::mimeData(IDataObject* data) {
  MimeDataList pairs;
  IEnumFORMATETC* formats = nullptr;
  if (data == nullptr || FAILED(data->EnumFormatEtc(DATADIR_GET, &formats)) || formats == nullptr) return pairs;
  FORMATETC format;
  ULONG fetched = 0;
  while (formats->Next(1, &format, &fetched) == S_OK) {
    const QString type = mimeType(format.cfFormat);
    STGMEDIUM medium{};
    if (type.isEmpty() || (format.tymed & (TYMED_HGLOBAL | TYMED_ISTREAM)) == 0) continue;
    format.tymed &= TYMED_HGLOBAL | TYMED_ISTREAM;
    if (FAILED(data->GetData(&format, &medium))) continue;
    pairs.append({type, mediumBytes(medium)});
    ReleaseStgMedium(&medium);
  }
  formats->Release();
  return pairs;
}

QByteArray CDragDropBridge::mediumBytes(const STGMEDIUM& medium) {
  if (medium.tymed == TYMED_HGLOBAL) return bytesFromGlobal(medium.hGlobal);
  if (medium.tymed == TYMED_ISTREAM) return bytesFromStream(medium.pstm);
  return QByteArray();
}

DWORD CDragDropBridge::keyState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  DWORD state = 0;
  if (modifiers & Qt::ShiftModifier) state |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) state |= MK_CONTROL;
  if (modifiers & Qt::AltModifier) state |= MK_ALT;
  if (buttons & Qt::LeftButton) state |= MK_LBUTTON;
  if (buttons & Qt::RightButton) state |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) state |= MK_MBUTTON;
  return state;
}

DWORD CDragDropBridge::dropEffects(Qt::DropActions actions) {
  DWORD effects = DROPEFFECT_NONE;
  if (actions & Qt::CopyAction) effects |= DROPEFFECT_COPY;
  if (actions & Qt::MoveAction) effects |= DROPEFFECT_MOVE;
  if (actions & Qt::LinkAction) effects |= DROPEFFECT_LINK;
  return effects;
}

Qt::DropAction CDragDropBridge::dropAction(DWORD effect) {
  if (effect & DROPEFFECT_COPY) return Qt::CopyAction;
  if (effect & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (effect & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

Qt::DropAction CDragDropBridge::dragEnter(IDropTarget* target, IDataObject* data, Qt::DropActions possible,
                                          Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                                          const QPoint& point) {
  DWORD effect = dropEffects(possible);
  if (target == nullptr || FAILED(target->DragEnter(data, keyState(modifiers, buttons), toPointL(point), &effect))) {
    return Qt::IgnoreAction;
  }
  return dropAction(effect);
}

Qt::DropAction CDragDropBridge::dragMove(IDropTarget* target, Qt::DropActions possible,
                                         Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                                         const QPoint& point) {
  DWORD effect = dropEffects(possible);
  if (target == nullptr || FAILED(target->DragOver(keyState(modifiers, buttons), toPointL(point), &effect))) {
    return Qt::IgnoreAction;
  }
  return dropAction(effect);
}

void CDragDropBridge::dragLeave(IDropTarget* target) {
  if (target != nullptr) target->DragLeave();
}

HRESULT CDragDropBridge::drop(IDropTarget* target, IDataObject* data, Qt::DropActions possible,
                              Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, const QPoint& point) {
  if (target == nullptr || data == nullptr) return E_INVALIDARG;
  DWORD effect = dropEffects(possible);
  return target->Drop(data, keyState(modifiers, buttons), toPointL(point), &effect);
}
