// OLE drag and drop for a host window: a data object carrying (format, medium) pairs, a
// drop source, a drop target that accepts a list of clipboard formats and hands the
// dropped medium to the host's OnDrop, a format enumerator, and a wrapper of the shell's
// drag-image helper.
//
// The COM classes start with a reference count of 0: whoever creates one takes the first
// reference with AddRef, and the object deletes itself when Release brings the count back
// to 0. On Linux there is no system drag loop and no shell: the host's toolkit drives the
// drop target (KestroDragDropBridge.h does that for Qt), and the shell helpers are absent,
// so drag images are not drawn and CDragSourceHelper answers E_FAIL.
#pragma once

#include <atomic>
#include <vector>

#include "KestroExport.h"
#include "oleidl.h"
#include "shobjidl.h"

class CIDropSource;

class KCM_API CIDataObject : public IDataObject {
 public:
  // `dropSource` is not owned and may be null.
  explicit CIDataObject(CIDropSource* dropSource);
  virtual ~CIDataObject();
  CIDataObject(const CIDataObject&) = delete;
  CIDataObject& operator=(const CIDataObject&) = delete;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // A copy of the first stored medium whose format matches the request in clipboard
  // format, aspect and a common tymed bit; DV_E_FORMATETC when none does.
  STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHOD(GetDataHere)(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHOD(QueryGetData)(FORMATETC* format) override;
  STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* format, FORMATETC* canonical) override;
  // Appends the format and the medium: taken over as it is when `release` is TRUE (the
  // object then frees it), else a copy. Equal formats are appended again.
  STDMETHOD(SetData)(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHOD(EnumFormatEtc)(DWORD direction, IEnumFORMATETC** enumerator) override;
  STDMETHOD(DAdvise)(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
  STDMETHOD(DUnadvise)(DWORD connection) override;
  STDMETHOD(EnumDAdvise)(IEnumSTATDATA** enumerator) override;

 private:
  std::atomic<ULONG> m_cRefCount{0};
  // The drop source this object was made for; the object itself never calls it.
  [[maybe_unused]] CIDropSource* m_pDropSource;  // not owned
  std::vector<FORMATETC*> m_ArrFormatEtc;     // owned, in the order SetData added them
  std::vector<STGMEDIUM*> m_StgMedium;        // owned, parallel to m_ArrFormatEtc
};

class KCM_API CIDropSource : public IDropSource {
 public:
  CIDropSource();
  virtual ~CIDropSource();
  CIDropSource(const CIDropSource&) = delete;
  CIDropSource& operator=(const CIDropSource&) = delete;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // Escape cancels; a left or right button still down goes on; otherwise the drop
  // happens (m_bDropped is set).
  STDMETHOD(QueryContinueDrag)(BOOL escapePressed, DWORD keyState) override;
  STDMETHOD(GiveFeedback)(DWORD effect) override;

  bool m_bDropped = false;  // true once QueryContinueDrag answered DRAGDROP_S_DROP

 private:
  std::atomic<ULONG> m_cRefCount{0};
};

class KCM_API CIDropTarget : public IDropTarget {
 public:
  // The shell's drop-target helper is created here when available (never on Linux).
  explicit CIDropTarget(HWND targetWindow);
  CIDropTarget(const CIDropTarget&) = delete;
  CIDropTarget& operator=(const CIDropTarget&) = delete;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // Matches the first supported format the data offers and chooses the effect.
  STDMETHOD(DragEnter)(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  STDMETHOD(DragOver)(DWORD keyState, POINTL point, DWORD* effect) override;
  STDMETHOD(DragLeave)() override;
  // Hands the matched format's medium to OnDrop and always reports DROPEFFECT_NONE back.
  STDMETHOD(Drop)(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

  virtual ~CIDropTarget();
  // The host's handling of a drop, with the effect QueryDrop chose. Answer true to have
  // the medium released here, false to keep it (the host then calls ReleaseStgMedium).
  virtual bool OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD* effect) = 0;

  // Appends a format the target accepts; earlier ones are preferred.
  void AddSuportedFormat(FORMATETC& format);
  // Sets *effect from the allowed effects it holds and the keys; true unless the result
  // is DROPEFFECT_NONE.
  bool QueryDrop(DWORD keyState, LPDWORD effect);

 private:
  std::atomic<ULONG> m_cRefCount{0};
  HWND m_hTargetWnd;
  IDropTargetHelper* m_pDropTargetHelper = nullptr;  // one reference, or null
  bool m_bAllowDrop = false;
  std::vector<FORMATETC> m_formatetc;          // supported formats, in the order added
  FORMATETC* m_pSupportedFrmt = nullptr;       // the one the current drag matched
};

class KCM_API CEnumFormatEtc : public IEnumFORMATETC {
 public:
  explicit CEnumFormatEtc(const std::vector<FORMATETC>& formats);
  explicit CEnumFormatEtc(const std::vector<FORMATETC*>& formats);
  virtual ~CEnumFormatEtc();
  CEnumFormatEtc(const CEnumFormatEtc&) = delete;
  CEnumFormatEtc& operator=(const CEnumFormatEtc&) = delete;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // S_FALSE without copying for a count of 0, a null output, the end reached, or a null
  // `fetched` with a count other than 1; else copies up to `count` entries (device
  // pointers shared, not duplicated): S_OK when all were delivered, S_FALSE otherwise.
  STDMETHOD(Next)(ULONG count, FORMATETC* out, ULONG* fetched) override;
  // S_FALSE without moving when the skip would reach or pass the end.
  STDMETHOD(Skip)(ULONG count) override;
  STDMETHOD(Reset)() override;
  // A new enumerator (one reference) over the same formats at the same position.
  STDMETHOD(Clone)(IEnumFORMATETC** enumerator) override;

 private:
  std::atomic<ULONG> m_cRefCount{0};
  std::vector<FORMATETC> m_pFmtEtc;
  ULONG m_iCur = 0;
};

// Not reference counted: the host owns it like any object.
class KCM_API CDragSourceHelper {
 public:
  CDragSourceHelper();
  virtual ~CDragSourceHelper();
  CDragSourceHelper(const CDragSourceHelper&) = delete;
  CDragSourceHelper& operator=(const CDragSourceHelper&) = delete;

  // The drag image is the bitmap, held at the cursor's offset within `item`.
  HRESULT InitializeFromBitmap(HBITMAP bitmap, POINT& cursor, RECT& item, IDataObject* data, COLORREF colorKey);
  HRESULT InitializeFromWindow(HWND window, POINT& cursor, IDataObject* data);

 private:
  IDragSourceHelper* pDragSourceHelper = nullptr;  // one reference, or null
};
