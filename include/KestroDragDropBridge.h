// Drag and drop between a Qt host and the OLE-style classes of KestroDragDrop.h.
//
// Linux has no OLE drag loop: a Qt host receives QDragEnterEvent, QDragMoveEvent,
// QDragLeaveEvent and QDropEvent instead. This bridge turns what those events carry into
// the calls a CIDropTarget expects, using QtCore types only:
//
//   - the data: QMimeData (QtGui) is written here as a list of (MIME type, bytes) pairs,
//     one per format, in QMimeData::formats() order:
//         CDragDropBridge::MimeDataList list;
//         for (const QString& type : mime->formats()) list.append({type, mime->data(type)});
//     and back with QMimeData::setData(type, bytes) for each pair;
//   - each MIME type travels as a registered clipboard format named after it
//     ("text/uri-list" → RegisterClipboardFormat(L"text/uri-list")), in an HGLOBAL;
//   - keys, buttons and actions: event->modifiers(), event->buttons(),
//     event->possibleActions(); the answer of dragEnter/dragMove is the action to pass to
//     event->setDropAction() (accept the event unless it is Qt::IgnoreAction);
//   - the point: event->position().toPoint(), as the target's POINTL.
//
// A typical drop target widget:
//   dragEnterEvent: _data = createDataObject(list);           (keep it until leave/drop)
//                   action = dragEnter(_target, _data, ...)
//   dragMoveEvent:  action = dragMove(_target, ...)
//   dragLeaveEvent: dragLeave(_target); _data->Release();
//   dropEvent:      drop(_target, _data, ...); _data->Release();
// and the host's CIDropTarget subclass reads the medium in OnDrop with mediumBytes().
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QPoint>
#include <QString>
#include <Qt>

#include "KestroDragDrop.h"

class KCM_API CDragDropBridge {
 public:
  typedef QList<QPair<QString, QByteArray>> MimeDataList;

  // The registered clipboard format that carries `mimeType`; 0 for an empty type.
  static CLIPFORMAT clipboardFormat(const QString& mimeType);
  // The MIME type a registered format carries; empty for standard or unknown formats.
  static QString mimeType(CLIPFORMAT format);
  // The FORMATETC under which the bridge offers `mimeType`: HGLOBAL, content, all data.
  static FORMATETC formatEtc(const QString& mimeType);

  // A data object holding every pair, with one reference for the caller; null if a pair
  // cannot be stored (empty MIME type or no memory).
  static IDataObject* createDataObject(const MimeDataList& data);
  // The pairs a data object offers as HGLOBAL or IStream media under registered formats,
  // in its enumeration order; formats it cannot hand out are left out.
  static MimeDataList mimeData(IDataObject* data);
  // The bytes of an HGLOBAL or IStream medium (a stream is read from its start); empty for
  // any other medium.
  static QByteArray mediumBytes(const STGMEDIUM& medium);

  // Qt's keyboard modifiers and mouse buttons as an OLE key state (MK_…).
  static DWORD keyState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
  // Qt's drop actions as DROPEFFECT_… bits, and one effect back as a Qt action.
  static DWORD dropEffects(Qt::DropActions actions);
  static Qt::DropAction dropAction(DWORD effect);

  // The target's answers to one event each, as the action to set on the event.
  static Qt::DropAction dragEnter(IDropTarget* target, IDataObject* data, Qt::DropActions possible,
                                  Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, const QPoint& point);
  static Qt::DropAction dragMove(IDropTarget* target, Qt::DropActions possible, Qt::KeyboardModifiers modifiers,
                                 Qt::MouseButtons buttons, const QPoint& point);
  static void dragLeave(IDropTarget* target);
  // Drop's result (the target reports DROPEFFECT_NONE back by design; what it did is up to
  // its OnDrop). E_INVALIDARG for a null target or data.
  static HRESULT drop(IDropTarget* target, IDataObject* data, Qt::DropActions possible,
                      Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, const QPoint& point);
};
