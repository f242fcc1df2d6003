// OLE uniform data transfer: the format and medium records, the storage-medium helpers,
// memory streams, and the interfaces a data object and its enumerators implement.
//
// The Windows SDK keeps these in objidl.h; here they stand on their own so that any
// header needing them can include this one.
#pragma once

#include <stddef.h>

#include "KestroClipboardFormats.h"
#include "KestroGdiObjects.h"
#include "KestroGlobalMemory.h"
#include "objbase.h"  // task memory: file names of media
#include "unknwn.h"
#include "winnt.h"

struct IMoniker;

DEFINE_GUID(IID_IStream, 0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_ISequentialStream, 0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D);
DEFINE_GUID(IID_IDataObject, 0x0000010E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumFORMATETC, 0x00000103, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IAdviseSink, 0x0000010F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumSTATDATA, 0x00000105, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

#define DV_E_FORMATETC ((HRESULT)0x80040064)
#define DV_E_DVTARGETDEVICE ((HRESULT)0x80040065)
#define DV_E_STGMEDIUM ((HRESULT)0x80040066)
#define DV_E_STATDATA ((HRESULT)0x80040067)
#define DV_E_LINDEX ((HRESULT)0x80040068)
#define DV_E_TYMED ((HRESULT)0x80040069)
#define DV_E_CLIPFORMAT ((HRESULT)0x8004006A)
#define DV_E_DVASPECT ((HRESULT)0x8004006B)
#define DATA_S_SAMEFORMATETC ((HRESULT)0x00040130)
#define OLE_E_ADVISENOTSUPPORTED ((HRESULT)0x80040003)

typedef enum tagTYMED {
  TYMED_NULL = 0,
  TYMED_HGLOBAL = 1,
  TYMED_FILE = 2,
  TYMED_ISTREAM = 4,
  TYMED_ISTORAGE = 8,
  TYMED_GDI = 16,
  TYMED_MFPICT = 32,
  TYMED_ENHMF = 64,
} TYMED;

typedef enum tagDVASPECT {
  DVASPECT_CONTENT = 1,
  DVASPECT_THUMBNAIL = 2,
  DVASPECT_ICON = 4,
  DVASPECT_DOCPRINT = 8,
} DVASPECT;

typedef enum tagDATADIR {
  DATADIR_GET = 1,
  DATADIR_SET = 2,
} DATADIR;

// Allocated with CoTaskMemAlloc; tdSize bytes long including the names in tdData.
typedef struct tagDVTARGETDEVICE {
  DWORD tdSize;
  WORD tdDriverNameOffset;
  WORD tdDeviceNameOffset;
  WORD tdPortNameOffset;
  WORD tdExtDevmodeOffset;
  BYTE tdData[1];
} DVTARGETDEVICE;

// lindex -1 asks for all of the data.
typedef struct tagFORMATETC {
  CLIPFORMAT cfFormat;
  DVTARGETDEVICE* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
} FORMATETC, *LPFORMATETC;

struct IStream;
struct IStorage;

// The handle member in use is chosen by tymed. With a null pUnkForRelease the receiver
// owns the data and frees it with ReleaseStgMedium; otherwise releasing pUnkForRelease
// is all the receiver does.
typedef struct tagSTGMEDIUM {
  DWORD tymed;
  union {
    HBITMAP hBitmap;
    HMETAFILEPICT hMetaFilePict;
    HENHMETAFILE hEnhMetaFile;
    HGLOBAL hGlobal;
    LPOLESTR lpszFileName;  // task memory
    IStream* pstm;
    IStorage* pstg;
  };
  IUnknown* pUnkForRelease;
} STGMEDIUM, uSTGMEDIUM, *LPSTGMEDIUM;

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1
#define STGTY_STREAM 2

typedef struct tagSTATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

struct ISequentialStream : public IUnknown {
  // Reads up to `count` bytes; fewer at the end of the stream, still S_OK. `done` may be null.
  STDMETHOD(Read)(void* buffer, ULONG count, ULONG* done) PURE;
  STDMETHOD(Write)(const void* buffer, ULONG count, ULONG* done) PURE;
};

struct IStream : public ISequentialStream {
  STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) PURE;
  STDMETHOD(SetSize)(ULARGE_INTEGER size) PURE;
  STDMETHOD(CopyTo)(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) PURE;
  STDMETHOD(Commit)(DWORD flags) PURE;
  STDMETHOD(Revert)() PURE;
  STDMETHOD(LockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) PURE;
  STDMETHOD(UnlockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) PURE;
  STDMETHOD(Stat)(STATSTG* stat, DWORD flags) PURE;
  STDMETHOD(Clone)(IStream** stream) PURE;
};
typedef IStream* LPSTREAM;

// Compound storage is not offered here: a storage medium is only ever passed on and
// released, so only the reference counting of IStorage is declared.
struct IStorage : public IUnknown {};

struct IAdviseSink : public IUnknown {
  STDMETHOD_(void, OnDataChange)(FORMATETC* format, STGMEDIUM* medium) PURE;
  STDMETHOD_(void, OnViewChange)(DWORD aspect, LONG index) PURE;
  STDMETHOD_(void, OnRename)(IMoniker* moniker) PURE;
  STDMETHOD_(void, OnSave)() PURE;
  STDMETHOD_(void, OnClose)() PURE;
};

typedef struct tagSTATDATA {
  FORMATETC formatetc;
  DWORD advf;
  IAdviseSink* pAdvSink;
  DWORD dwConnection;
} STATDATA;

struct IEnumSTATDATA : public IUnknown {
  STDMETHOD(Next)(ULONG count, STATDATA* out, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumSTATDATA** enumerator) PURE;
};

struct IEnumFORMATETC : public IUnknown {
  STDMETHOD(Next)(ULONG count, FORMATETC* out, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumFORMATETC** enumerator) PURE;
};
typedef IEnumFORMATETC* LPENUMFORMATETC;

struct IDataObject : public IUnknown {
  STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) PURE;
  STDMETHOD(GetDataHere)(FORMATETC* format, STGMEDIUM* medium) PURE;
  STDMETHOD(QueryGetData)(FORMATETC* format) PURE;
  STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* format, FORMATETC* canonical) PURE;
  STDMETHOD(SetData)(FORMATETC* format, STGMEDIUM* medium, BOOL release) PURE;
  STDMETHOD(EnumFormatEtc)(DWORD direction, IEnumFORMATETC** enumerator) PURE;
  STDMETHOD(DAdvise)(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) PURE;
  STDMETHOD(DUnadvise)(DWORD connection) PURE;
  STDMETHOD(EnumDAdvise)(IEnumSTATDATA** enumerator) PURE;
};
typedef IDataObject* LPDATAOBJECT;

KCM_EXTERN_C_BEGIN
// Frees the medium's data as its tymed says, unless pUnkForRelease is set, then releases
// pUnkForRelease: HGLOBAL → GlobalFree; FILE → the file is deleted, and the name freed
// with CoTaskMemFree whoever owns the data; ISTREAM, ISTORAGE → Release; GDI →
// DeleteObject; MFPICT → DeleteMetaFile of the picture's metafile and GlobalFree;
// ENHMF → DeleteEnhMetaFile. Afterwards the medium is TYMED_NULL with null members, so
// releasing the same record again does nothing. Null or TYMED_NULL: nothing happens.
KCM_PLATFORM_API void WINAPI ReleaseStgMedium(LPSTGMEDIUM medium);
// A new copy of `source` as clipboard format `format` stores it: CF_BITMAP → a bitmap,
// CF_METAFILEPICT → a picture block with its own metafile, CF_ENHMETAFILE → an enhanced
// metafile, any other format → a movable global block with the same bytes. `flags` are
// the GlobalAlloc flags of a global copy (0: GMEM_MOVEABLE). Null when `source` is not
// such an object or memory runs out. CF_PALETTE is not offered (null).
KCM_PLATFORM_API HANDLE WINAPI OleDuplicateData(HANDLE source, CLIPFORMAT format, UINT flags);
// A stream over the global block (null: a new empty movable one) starting at offset 0.
// Writes grow the block. With `deleteOnRelease` the stream frees the block when its last
// clone is released. Streams over one block share its contents but not their positions.
KCM_PLATFORM_API HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream);
// The block under a stream made by CreateStreamOnHGlobal; E_INVALIDARG for any other.
KCM_PLATFORM_API HRESULT WINAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* memory);
KCM_EXTERN_C_END

static_assert(sizeof(CLIPFORMAT) == 2, "CLIPFORMAT is a WORD");
static_assert(sizeof(DVTARGETDEVICE) == 16 && offsetof(DVTARGETDEVICE, tdData) == 12, "DVTARGETDEVICE layout");
static_assert(sizeof(FORMATETC) == 32 && offsetof(FORMATETC, ptd) == 8 && offsetof(FORMATETC, dwAspect) == 16 &&
                  offsetof(FORMATETC, lindex) == 20 && offsetof(FORMATETC, tymed) == 24,
              "FORMATETC as on 64-bit Windows");
static_assert(sizeof(STGMEDIUM) == 24 && offsetof(STGMEDIUM, hGlobal) == 8 && offsetof(STGMEDIUM, pUnkForRelease) == 16,
              "STGMEDIUM as on 64-bit Windows");
