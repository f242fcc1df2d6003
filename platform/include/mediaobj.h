// DirectX Media Objects: IMediaObject (a stream transform driven by its caller, with
// no pins and no threads of its own) and IMediaBuffer (the buffers handed to it).
#pragma once

#include "strmif.h"

// A DMO's media type has exactly the layout of AM_MEDIA_TYPE; it is the same type here,
// so that a CMediaType can be handed to a DMO as it is.
typedef AM_MEDIA_TYPE DMO_MEDIA_TYPE;

DEFINE_GUID(IID_IMediaBuffer, 0x59EFF8B9, 0x938C, 0x4A26, 0x82, 0xF2, 0x95, 0xCB, 0x84, 0xCD, 0xC8, 0x37);
DEFINE_GUID(IID_IMediaObject, 0xD8AD0F58, 0x5494, 0x4102, 0x97, 0xC5, 0xEC, 0x79, 0x8E, 0x59, 0xBC, 0xF4);

enum _DMO_SET_TYPE_FLAGS { DMO_SET_TYPEF_TEST_ONLY = 0x1, DMO_SET_TYPEF_CLEAR = 0x2 };
enum _DMO_INPUT_STATUS_FLAGS { DMO_INPUT_STATUSF_ACCEPT_DATA = 0x1 };
// Which of ProcessInput's timestamp and timelength are valid, and whether the buffer
// starts at a sync point.
enum _DMO_INPUT_DATA_BUFFER_FLAGS {
  DMO_INPUT_DATA_BUFFERF_SYNCPOINT = 0x1,
  DMO_INPUT_DATA_BUFFERF_TIME = 0x2,
  DMO_INPUT_DATA_BUFFERF_TIMELENGTH = 0x4
};
// As above for an output buffer; INCOMPLETE: the DMO has more output ready.
enum _DMO_OUTPUT_DATA_BUFFER_FLAGS {
  DMO_OUTPUT_DATA_BUFFERF_SYNCPOINT = 0x1,
  DMO_OUTPUT_DATA_BUFFERF_TIME = 0x2,
  DMO_OUTPUT_DATA_BUFFERF_TIMELENGTH = 0x4,
  DMO_OUTPUT_DATA_BUFFERF_INCOMPLETE = 0x01000000
};

struct IMediaBuffer : public IUnknown {
  // The length of the valid data; more than GetMaxLength → E_INVALIDARG.
  STDMETHOD(SetLength)(DWORD length) PURE;
  STDMETHOD(GetMaxLength)(DWORD* maxLength) PURE;
  // Either argument may be null.
  STDMETHOD(GetBufferAndLength)(BYTE** buffer, DWORD* length) PURE;
};

typedef struct _DMO_OUTPUT_DATA_BUFFER {
  IMediaBuffer* pBuffer;
  DWORD dwStatus;  // DMO_OUTPUT_DATA_BUFFERF_*
  REFERENCE_TIME rtTimestamp;
  REFERENCE_TIME rtTimelength;
} DMO_OUTPUT_DATA_BUFFER, *PDMO_OUTPUT_DATA_BUFFER;

struct IMediaObject : public IUnknown {
  STDMETHOD(GetStreamCount)(DWORD* inputStreams, DWORD* outputStreams) PURE;
  STDMETHOD(GetInputStreamInfo)(DWORD inputStreamIndex, DWORD* flags) PURE;
  STDMETHOD(GetOutputStreamInfo)(DWORD outputStreamIndex, DWORD* flags) PURE;
  // The preferred types by position: DMO_E_NO_MORE_ITEMS past the last one. `type` may be
  // null to ask whether the position exists; else the caller frees it (MoFreeMediaType).
  STDMETHOD(GetInputType)(DWORD inputStreamIndex, DWORD typeIndex, DMO_MEDIA_TYPE* type) PURE;
  STDMETHOD(GetOutputType)(DWORD outputStreamIndex, DWORD typeIndex, DMO_MEDIA_TYPE* type) PURE;
  // S_OK or DMO_E_TYPE_NOT_ACCEPTED; DMO_SET_TYPEF_TEST_ONLY only asks,
  // DMO_SET_TYPEF_CLEAR clears the type (`type` then null).
  STDMETHOD(SetInputType)(DWORD inputStreamIndex, const DMO_MEDIA_TYPE* type, DWORD flags) PURE;
  STDMETHOD(SetOutputType)(DWORD outputStreamIndex, const DMO_MEDIA_TYPE* type, DWORD flags) PURE;
  // DMO_E_TYPE_NOT_SET before a type was set.
  STDMETHOD(GetInputCurrentType)(DWORD inputStreamIndex, DMO_MEDIA_TYPE* type) PURE;
  STDMETHOD(GetOutputCurrentType)(DWORD outputStreamIndex, DMO_MEDIA_TYPE* type) PURE;
  STDMETHOD(GetInputSizeInfo)(DWORD inputStreamIndex, DWORD* size, DWORD* maxLookahead, DWORD* alignment) PURE;
  STDMETHOD(GetOutputSizeInfo)(DWORD outputStreamIndex, DWORD* size, DWORD* alignment) PURE;
  STDMETHOD(GetInputMaxLatency)(DWORD inputStreamIndex, REFERENCE_TIME* maxLatency) PURE;
  STDMETHOD(SetInputMaxLatency)(DWORD inputStreamIndex, REFERENCE_TIME maxLatency) PURE;
  // Drops all data held.
  STDMETHOD(Flush)() PURE;
  // No more input follows on this stream for now: what is held comes out.
  STDMETHOD(Discontinuity)(DWORD inputStreamIndex) PURE;
  STDMETHOD(AllocateStreamingResources)() PURE;
  STDMETHOD(FreeStreamingResources)() PURE;
  STDMETHOD(GetInputStatus)(DWORD inputStreamIndex, DWORD* flags) PURE;
  // DMO_E_NOTACCEPTING while the DMO holds output not yet taken.
  STDMETHOD(ProcessInput)(DWORD inputStreamIndex, IMediaBuffer* buffer, DWORD flags, REFERENCE_TIME timestamp,
                          REFERENCE_TIME timelength) PURE;
  // S_FALSE when no output was produced.
  STDMETHOD(ProcessOutput)(DWORD flags, DWORD outputBufferCount, DMO_OUTPUT_DATA_BUFFER* outputBuffers,
                           DWORD* status) PURE;
  STDMETHOD(Lock)(LONG lock) PURE;
};
