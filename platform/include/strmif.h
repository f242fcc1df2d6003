// DirectShow's core records and interfaces: media types, pins, filters, allocators,
// samples, clocks and the filter graph.
//
// Method signatures keep the SDK's spelling (`long` where the SDK writes long), so
// filters written for Windows override them unchanged; records keep the Windows widths
// (LONG, ULONG: 32-bit), so their layouts match Windows.
#pragma once

#include "amvideo.h"
#include "objbase.h"
#include "unknwn.h"
#include "wingdi.h"

struct IBaseFilter;
struct IEnumMediaTypes;
struct IFilterGraph;
struct IMediaSample;
struct IMemAllocatorNotifyCallbackTemp;
struct IPin;
struct IReferenceClock;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128
#define CHARS_IN_GUID 39

// Allocator GetBuffer flags.
#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4
#define AM_GBF_NODDSURFACELOCK 8

// AM_SAMPLE2_PROPERTIES.dwSampleFlags.
enum tagAM_SAMPLE_PROPERTY_FLAGS {
  AM_SAMPLE_SPLICEPOINT = 0x1,
  AM_SAMPLE_PREROLL = 0x2,
  AM_SAMPLE_DATADISCONTINUITY = 0x4,
  AM_SAMPLE_TYPECHANGED = 0x8,
  AM_SAMPLE_TIMEVALID = 0x10,
  AM_SAMPLE_TIMEDISCONTINUITY = 0x40,
  AM_SAMPLE_FLUSH_ON_PAUSE = 0x80,
  AM_SAMPLE_STOPVALID = 0x100,
  AM_SAMPLE_ENDOFSTREAM = 0x200,
  AM_STREAM_MEDIA = 0,
  AM_STREAM_CONTROL = 1
};

// IMediaSeeking::SetPositions flags.
enum AM_SEEKING_SeekingFlags {
  AM_SEEKING_NoPositioning = 0x0,
  AM_SEEKING_AbsolutePositioning = 0x1,
  AM_SEEKING_RelativePositioning = 0x2,
  AM_SEEKING_IncrementalPositioning = 0x3,
  AM_SEEKING_SeekToKeyFrame = 0x4,
  AM_SEEKING_ReturnTime = 0x8,
  AM_SEEKING_Segment = 0x10,
  AM_SEEKING_NoFlush = 0x20
};

typedef enum _PinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 } PIN_DIRECTION;
typedef enum _FilterState { State_Stopped = 0, State_Paused = 1, State_Running = 2 } FILTER_STATE;
typedef enum tagQualityMessageType { Famine = 0, Flood = 1 } QualityMessageType;

// Advise handles of IReferenceClock: an event (AdviseTime) or a semaphore
// (AdvisePeriodic) HANDLE, carried as an integer.
typedef DWORD_PTR HEVENT;
typedef DWORD_PTR HSEMAPHORE;

// pbFormat holds cbFormat bytes allocated with CoTaskMemAlloc; pUnk is normally null.
typedef struct _AMMediaType {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;
} AM_MEDIA_TYPE;

typedef struct _AllocatorProperties {
  LONG cBuffers;
  LONG cbBuffer;
  LONG cbAlign;
  LONG cbPrefix;
} ALLOCATOR_PROPERTIES;

typedef struct tagAM_SAMPLE2_PROPERTIES {
  DWORD cbData;
  DWORD dwTypeSpecificFlags;
  DWORD dwSampleFlags;
  LONG lActual;
  REFERENCE_TIME tStart;
  REFERENCE_TIME tStop;
  DWORD dwStreamId;
  AM_MEDIA_TYPE* pMediaType;
  BYTE* pbBuffer;
  LONG cbBuffer;
} AM_SAMPLE2_PROPERTIES;

// pFilter holds a reference the caller releases.
typedef struct _PinInfo {
  IBaseFilter* pFilter;
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
} PIN_INFO;

// pGraph holds a reference (when not null) the caller releases.
typedef struct _FilterInfo {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;
} FILTER_INFO;

typedef struct tagQuality {
  QualityMessageType Type;
  LONG Proportion;
  REFERENCE_TIME Late;
  REFERENCE_TIME TimeStamp;
} Quality;

static_assert(sizeof(AM_MEDIA_TYPE) == 88 && offsetof(AM_MEDIA_TYPE, lSampleSize) == 40 &&
                  offsetof(AM_MEDIA_TYPE, formattype) == 44 && offsetof(AM_MEDIA_TYPE, pUnk) == 64 &&
                  offsetof(AM_MEDIA_TYPE, cbFormat) == 72 && offsetof(AM_MEDIA_TYPE, pbFormat) == 80,
              "AM_MEDIA_TYPE as on 64-bit Windows");
static_assert(sizeof(ALLOCATOR_PROPERTIES) == 16, "ALLOCATOR_PROPERTIES layout");
static_assert(sizeof(Quality) == 24 && offsetof(Quality, Late) == 8, "Quality layout");
static_assert(sizeof(AM_SAMPLE2_PROPERTIES) == 64 && offsetof(AM_SAMPLE2_PROPERTIES, tStart) == 16 &&
                  offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId) == 32 &&
                  offsetof(AM_SAMPLE2_PROPERTIES, pMediaType) == 40 &&
                  offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer) == 48 && offsetof(AM_SAMPLE2_PROPERTIES, cbBuffer) == 56,
              "AM_SAMPLE2_PROPERTIES as on 64-bit Windows");
// WCHAR is 4 bytes here (see minwindef.h), so the name arrays are twice the Windows size;
// the members before them keep their Windows offsets.
static_assert(sizeof(PIN_DIRECTION) == 4 && offsetof(PIN_INFO, dir) == 8 && offsetof(PIN_INFO, achName) == 12,
              "PIN_INFO layout");
static_assert(offsetof(FILTER_INFO, pGraph) == MAX_FILTER_NAME * sizeof(WCHAR), "FILTER_INFO layout");

DEFINE_GUID(IID_IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaEventSink, 0x56A868A2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IQualityControl, 0x56A868A5, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A);
DEFINE_GUID(IID_IMediaSeeking, 0x36B73880, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
DEFINE_GUID(IID_IMediaSample2, 0x36B73884, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
DEFINE_GUID(IID_IMemAllocatorCallbackTemp, 0x379A0CF0, 0xC1DE, 0x11D2, 0xAB, 0xF5, 0x00, 0xA0, 0xC9, 0x05, 0xF3,
            0x75);
DEFINE_GUID(IID_IMemAllocatorNotifyCallbackTemp, 0x92980B30, 0xC1DE, 0x11D2, 0xAB, 0xF5, 0x00, 0xA0, 0xC9, 0x05,
            0xF3, 0x75);

struct IPin : public IUnknown {
  STDMETHOD(Connect)(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(ReceiveConnection)(IPin* connector, const AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(Disconnect)() PURE;
  STDMETHOD(ConnectedTo)(IPin** pin) PURE;
  STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(QueryPinInfo)(PIN_INFO* info) PURE;
  STDMETHOD(QueryDirection)(PIN_DIRECTION* direction) PURE;
  STDMETHOD(QueryId)(LPWSTR* id) PURE;
  STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** enumerator) PURE;
  STDMETHOD(QueryInternalConnections)(IPin** pins, ULONG* count) PURE;
  STDMETHOD(EndOfStream)() PURE;
  STDMETHOD(BeginFlush)() PURE;
  STDMETHOD(EndFlush)() PURE;
  STDMETHOD(NewSegment)(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) PURE;
};
typedef IPin* PPIN;

struct IEnumPins : public IUnknown {
  STDMETHOD(Next)(ULONG count, IPin** pins, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumPins** enumerator) PURE;
};
typedef IEnumPins* PENUMPINS;

// Each type handed out is the caller's: free it and its format block with CoTaskMemFree.
struct IEnumMediaTypes : public IUnknown {
  STDMETHOD(Next)(ULONG count, AM_MEDIA_TYPE** mediaTypes, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumMediaTypes** enumerator) PURE;
};
typedef IEnumMediaTypes* PENUMMEDIATYPES;

struct IReferenceClock : public IUnknown {
  STDMETHOD(GetTime)(REFERENCE_TIME* time) PURE;
  STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) PURE;
  STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                            DWORD_PTR* cookie) PURE;
  STDMETHOD(Unadvise)(DWORD_PTR cookie) PURE;
};
typedef IReferenceClock* PREFERENCECLOCK;

struct IMediaFilter : public IPersist {
  STDMETHOD(Stop)() PURE;
  STDMETHOD(Pause)() PURE;
  STDMETHOD(Run)(REFERENCE_TIME start) PURE;
  STDMETHOD(GetState)(DWORD milliseconds, FILTER_STATE* state) PURE;
  STDMETHOD(SetSyncSource)(IReferenceClock* clock) PURE;
  STDMETHOD(GetSyncSource)(IReferenceClock** clock) PURE;
};
typedef IMediaFilter* PMEDIAFILTER;

// A filter keeps the graph pointer JoinFilterGraph gives it without a reference: the
// graph holds the filter, and a reference back would keep both alive forever.
struct IBaseFilter : public IMediaFilter {
  STDMETHOD(EnumPins)(IEnumPins** enumerator) PURE;
  STDMETHOD(FindPin)(LPCWSTR id, IPin** pin) PURE;
  STDMETHOD(QueryFilterInfo)(FILTER_INFO* info) PURE;
  STDMETHOD(JoinFilterGraph)(IFilterGraph* graph, LPCWSTR name) PURE;
  STDMETHOD(QueryVendorInfo)(LPWSTR* vendorInfo) PURE;
};
typedef IBaseFilter* PFILTER;

struct IMediaSample : public IUnknown {
  STDMETHOD(GetPointer)(BYTE** buffer) PURE;
  STDMETHOD_(long, GetSize)() PURE;
  STDMETHOD(GetTime)(REFERENCE_TIME* start, REFERENCE_TIME* end) PURE;
  STDMETHOD(SetTime)(REFERENCE_TIME* start, REFERENCE_TIME* end) PURE;
  STDMETHOD(IsSyncPoint)() PURE;
  STDMETHOD(SetSyncPoint)(BOOL syncPoint) PURE;
  STDMETHOD(IsPreroll)() PURE;
  STDMETHOD(SetPreroll)(BOOL preroll) PURE;
  STDMETHOD_(long, GetActualDataLength)() PURE;
  STDMETHOD(SetActualDataLength)(long length) PURE;
  STDMETHOD(GetMediaType)(AM_MEDIA_TYPE** mediaType) PURE;
  STDMETHOD(SetMediaType)(AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(IsDiscontinuity)() PURE;
  STDMETHOD(SetDiscontinuity)(BOOL discontinuity) PURE;
  STDMETHOD(GetMediaTime)(LONGLONG* start, LONGLONG* end) PURE;
  STDMETHOD(SetMediaTime)(LONGLONG* start, LONGLONG* end) PURE;
};
typedef IMediaSample* PMEDIASAMPLE;

// GetProperties/SetProperties move only the first `size` bytes of AM_SAMPLE2_PROPERTIES.
struct IMediaSample2 : public IMediaSample {
  STDMETHOD(GetProperties)(DWORD size, BYTE* properties) PURE;
  STDMETHOD(SetProperties)(DWORD size, const BYTE* properties) PURE;
};
typedef IMediaSample2* PMEDIASAMPLE2;

struct IMemAllocator : public IUnknown {
  STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) PURE;
  STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES* properties) PURE;
  STDMETHOD(Commit)() PURE;
  STDMETHOD(Decommit)() PURE;
  STDMETHOD(GetBuffer)(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) PURE;
  STDMETHOD(ReleaseBuffer)(IMediaSample* sample) PURE;
};
typedef IMemAllocator* PMEMALLOCATOR;

struct IMemAllocatorCallbackTemp : public IMemAllocator {
  STDMETHOD(SetNotify)(IMemAllocatorNotifyCallbackTemp* notify) PURE;
  STDMETHOD(GetFreeCount)(LONG* freeCount) PURE;
};

struct IMemAllocatorNotifyCallbackTemp : public IUnknown {
  STDMETHOD(NotifyRelease)() PURE;
};

struct IMemInputPin : public IUnknown {
  STDMETHOD(GetAllocator)(IMemAllocator** allocator) PURE;
  STDMETHOD(NotifyAllocator)(IMemAllocator* allocator, BOOL readOnly) PURE;
  STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES* properties) PURE;
  STDMETHOD(Receive)(IMediaSample* sample) PURE;
  STDMETHOD(ReceiveMultiple)(IMediaSample** samples, long count, long* processed) PURE;
  STDMETHOD(ReceiveCanBlock)() PURE;
};
typedef IMemInputPin* PMEMINPUTPIN;

struct IEnumFilters : public IUnknown {
  STDMETHOD(Next)(ULONG count, IBaseFilter** filters, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumFilters** enumerator) PURE;
};
typedef IEnumFilters* PENUMFILTERS;

struct IFilterGraph : public IUnknown {
  STDMETHOD(AddFilter)(IBaseFilter* filter, LPCWSTR name) PURE;
  STDMETHOD(RemoveFilter)(IBaseFilter* filter) PURE;
  STDMETHOD(EnumFilters)(IEnumFilters** enumerator) PURE;
  STDMETHOD(FindFilterByName)(LPCWSTR name, IBaseFilter** filter) PURE;
  STDMETHOD(ConnectDirect)(IPin* output, IPin* input, const AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(Reconnect)(IPin* pin) PURE;
  STDMETHOD(Disconnect)(IPin* pin) PURE;
  STDMETHOD(SetDefaultSyncSource)() PURE;
};
typedef IFilterGraph* PFILTERGRAPH;

struct IGraphBuilder : public IFilterGraph {
  STDMETHOD(Connect)(IPin* output, IPin* input) PURE;
  STDMETHOD(Render)(IPin* output) PURE;
  STDMETHOD(RenderFile)(LPCWSTR file, LPCWSTR playList) PURE;
  STDMETHOD(AddSourceFilter)(LPCWSTR fileName, LPCWSTR filterName, IBaseFilter** filter) PURE;
  STDMETHOD(SetLogFile)(DWORD_PTR file) PURE;
  STDMETHOD(Abort)() PURE;
  STDMETHOD(ShouldOperationContinue)() PURE;
};

struct IMediaEventSink : public IUnknown {
  STDMETHOD(Notify)(long eventCode, LONG_PTR param1, LONG_PTR param2) PURE;
};

struct IQualityControl : public IUnknown {
  STDMETHOD(Notify)(IBaseFilter* self, Quality quality) PURE;
  STDMETHOD(SetSink)(IQualityControl* sink) PURE;
};

struct IMediaSeeking : public IUnknown {
  STDMETHOD(GetCapabilities)(DWORD* capabilities) PURE;
  STDMETHOD(CheckCapabilities)(DWORD* capabilities) PURE;
  STDMETHOD(IsFormatSupported)(const GUID* format) PURE;
  STDMETHOD(QueryPreferredFormat)(GUID* format) PURE;
  STDMETHOD(GetTimeFormat)(GUID* format) PURE;
  STDMETHOD(IsUsingTimeFormat)(const GUID* format) PURE;
  STDMETHOD(SetTimeFormat)(const GUID* format) PURE;
  STDMETHOD(GetDuration)(LONGLONG* duration) PURE;
  STDMETHOD(GetStopPosition)(LONGLONG* stop) PURE;
  STDMETHOD(GetCurrentPosition)(LONGLONG* current) PURE;
  STDMETHOD(ConvertTimeFormat)(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                               const GUID* sourceFormat) PURE;
  STDMETHOD(SetPositions)(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) PURE;
  STDMETHOD(GetPositions)(LONGLONG* current, LONGLONG* stop) PURE;
  STDMETHOD(GetAvailable)(LONGLONG* earliest, LONGLONG* latest) PURE;
  STDMETHOD(SetRate)(double rate) PURE;
  STDMETHOD(GetRate)(double* rate) PURE;
  STDMETHOD(GetPreroll)(LONGLONG* preroll) PURE;
};

// Physical connectors of capture hardware: video connectors are below 4096, audio ones
// start there.
typedef enum tagPhysicalConnectorType {
  PhysConn_Video_Tuner = 1,
  PhysConn_Video_Composite = 2,
  PhysConn_Video_SVideo = 3,
  PhysConn_Video_RGB = 4,
  PhysConn_Video_YRYBY = 5,
  PhysConn_Video_SerialDigital = 6,
  PhysConn_Video_ParallelDigital = 7,
  PhysConn_Video_SCSI = 8,
  PhysConn_Video_AUX = 9,
  PhysConn_Video_1394 = 10,
  PhysConn_Video_USB = 11,
  PhysConn_Video_VideoDecoder = 12,
  PhysConn_Video_VideoEncoder = 13,
  PhysConn_Video_SCART = 14,
  PhysConn_Video_Black = 15,
  PhysConn_Audio_Tuner = 0x1000,
  PhysConn_Audio_Line = 0x1001,
  PhysConn_Audio_Mic = 0x1002,
  PhysConn_Audio_AESDigital = 0x1003,
  PhysConn_Audio_SPDIFDigital = 0x1004,
  PhysConn_Audio_SCSI = 0x1005,
  PhysConn_Audio_AUX = 0x1006,
  PhysConn_Audio_1394 = 0x1007,
  PhysConn_Audio_USB = 0x1008,
  PhysConn_Audio_AudioDecoder = 0x1009
} PhysicalConnectorType;

DEFINE_GUID(IID_IAMCrossbar, 0xC6E13380, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56);

// A switch between a filter's input pins (physical connectors) and its output pins.
struct IAMCrossbar : public IUnknown {
  STDMETHOD(get_PinCounts)(long* outputPinCount, long* inputPinCount) PURE;
  // S_OK when output `outputPinIndex` can be fed from input `inputPinIndex`, else S_FALSE.
  STDMETHOD(CanRoute)(long outputPinIndex, long inputPinIndex) PURE;
  // inputPinIndex -1 disconnects the output.
  STDMETHOD(Route)(long outputPinIndex, long inputPinIndex) PURE;
  STDMETHOD(get_IsRoutedTo)(long outputPinIndex, long* inputPinIndex) PURE;
  // The index of the pin paired with this one (audio with video) or -1, and its connector.
  STDMETHOD(get_CrossbarPinInfo)(BOOL isInputPin, long pinIndex, long* pinIndexRelated,
                                 long* physicalType) PURE;
};

// ---- Capture devices: stream configuration, pin properties, buffers, mixers, device
// enumeration.

#ifndef E_PROP_ID_UNSUPPORTED
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070490)
#endif
#ifndef E_PROP_SET_UNSUPPORTED
#define E_PROP_SET_UNSUPPORTED ((HRESULT)0x80070492)
#endif

#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2

// ICreateDevEnum::CreateClassEnumerator flags.
#define CDEF_CLASS_DEFAULT 0x1
#define CDEF_BYPASS_CLASS_MANAGER 0x2
#define CDEF_CLASS_LEGACY 0x4
#define CDEF_MERIT_ABOVE_DO_NOT_USE 0x8

// Property ids of AMPROPSETID_Pin: the category is a 16-byte GUID (PIN_CATEGORY_…).
typedef enum { AMPROPERTY_PIN_CATEGORY = 0, AMPROPERTY_PIN_MEDIUM = 1 } AMPROPERTY_PIN;

// What a video capture pin can produce for one media type: output sizes from
// MinOutputSize to MaxOutputSize in steps of the granularity, frame intervals (100 ns)
// from MinFrameInterval to MaxFrameInterval.
typedef struct _VIDEO_STREAM_CONFIG_CAPS {
  GUID guid;
  ULONG VideoStandard;
  SIZE InputSize;
  SIZE MinCroppingSize;
  SIZE MaxCroppingSize;
  int CropGranularityX;
  int CropGranularityY;
  int CropAlignX;
  int CropAlignY;
  SIZE MinOutputSize;
  SIZE MaxOutputSize;
  int OutputGranularityX;
  int OutputGranularityY;
  int StretchTapsX;
  int StretchTapsY;
  int ShrinkTapsX;
  int ShrinkTapsY;
  LONGLONG MinFrameInterval;
  LONGLONG MaxFrameInterval;
  LONG MinBitsPerSecond;
  LONG MaxBitsPerSecond;
} VIDEO_STREAM_CONFIG_CAPS;

typedef struct _AUDIO_STREAM_CONFIG_CAPS {
  GUID guid;
  ULONG MinimumChannels;
  ULONG MaximumChannels;
  ULONG ChannelsGranularity;
  ULONG MinimumBitsPerSample;
  ULONG MaximumBitsPerSample;
  ULONG BitsPerSampleGranularity;
  ULONG MinimumSampleFrequency;
  ULONG MaximumSampleFrequency;
  ULONG SampleFrequencyGranularity;
} AUDIO_STREAM_CONFIG_CAPS;

static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128 && offsetof(VIDEO_STREAM_CONFIG_CAPS, ShrinkTapsY) == 96 &&
                  offsetof(VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104 &&
                  offsetof(VIDEO_STREAM_CONFIG_CAPS, MaxBitsPerSecond) == 124,
              "VIDEO_STREAM_CONFIG_CAPS layout");
static_assert(sizeof(AUDIO_STREAM_CONFIG_CAPS) == 52 &&
                  offsetof(AUDIO_STREAM_CONFIG_CAPS, SampleFrequencyGranularity) == 48,
              "AUDIO_STREAM_CONFIG_CAPS layout");

DEFINE_GUID(IID_IAMStreamConfig, 0xC6E13340, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56);
DEFINE_GUID(IID_IKsPropertySet, 0x31EFAC30, 0x515C, 0x11D0, 0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61, 0xBE, 0x93);
DEFINE_GUID(IID_IAMBufferNegotiation, 0x56ED71A0, 0xAF5F, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);
DEFINE_GUID(IID_IAMAudioInputMixer, 0x54C39221, 0x8380, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);
DEFINE_GUID(IID_ICreateDevEnum, 0x29840822, 0x5B84, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);

// The output format of a capture pin. GetFormat and GetStreamCaps hand out types the
// caller frees (DeleteMediaType); `caps` of GetStreamCaps receives a
// VIDEO_STREAM_CONFIG_CAPS or AUDIO_STREAM_CONFIG_CAPS, as GetNumberOfCapabilities' size says.
struct IAMStreamConfig : public IUnknown {
  STDMETHOD(SetFormat)(AM_MEDIA_TYPE* mediaType) PURE;
  STDMETHOD(GetFormat)(AM_MEDIA_TYPE** mediaType) PURE;
  STDMETHOD(GetNumberOfCapabilities)(int* count, int* size) PURE;
  STDMETHOD(GetStreamCaps)(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps) PURE;
};

// Kernel-streaming properties of a pin; capture pins answer AMPROPSETID_Pin /
// AMPROPERTY_PIN_CATEGORY with their PIN_CATEGORY_… GUID.
struct IKsPropertySet : public IUnknown {
  STDMETHOD(Set)(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                 DWORD dataLength) PURE;
  STDMETHOD(Get)(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                 DWORD dataLength, DWORD* bytesReturned) PURE;
  STDMETHOD(QuerySupported)(REFGUID propSet, DWORD id, DWORD* typeSupport) PURE;
};

// A suggestion for the allocator an output pin sets up when it connects; fields below 0
// leave the pin's own choice.
struct IAMBufferNegotiation : public IUnknown {
  STDMETHOD(SuggestAllocatorProperties)(const ALLOCATOR_PROPERTIES* properties) PURE;
  STDMETHOD(GetAllocatorProperties)(ALLOCATOR_PROPERTIES* properties) PURE;
};

// The recording mixer of an audio capture input: enable, mono, level (0..1), pan
// (-1..1), loudness and tone controls.
struct IAMAudioInputMixer : public IUnknown {
  STDMETHOD(put_Enable)(BOOL enable) PURE;
  STDMETHOD(get_Enable)(BOOL* enable) PURE;
  STDMETHOD(put_Mono)(BOOL mono) PURE;
  STDMETHOD(get_Mono)(BOOL* mono) PURE;
  STDMETHOD(put_MixLevel)(double level) PURE;
  STDMETHOD(get_MixLevel)(double* level) PURE;
  STDMETHOD(put_Pan)(double pan) PURE;
  STDMETHOD(get_Pan)(double* pan) PURE;
  STDMETHOD(put_Loudness)(BOOL loudness) PURE;
  STDMETHOD(get_Loudness)(BOOL* loudness) PURE;
  STDMETHOD(put_Treble)(double treble) PURE;
  STDMETHOD(get_Treble)(double* treble) PURE;
  STDMETHOD(get_TrebleRange)(double* range) PURE;
  STDMETHOD(put_Bass)(double bass) PURE;
  STDMETHOD(get_Bass)(double* bass) PURE;
  STDMETHOD(get_BassRange)(double* range) PURE;
};

struct IEnumMoniker;

// The system device enumerator (CLSID_SystemDeviceEnum). An empty category answers
// S_FALSE with a null enumerator, as on Windows.
struct ICreateDevEnum : public IUnknown {
  STDMETHOD(CreateClassEnumerator)(REFCLSID category, IEnumMoniker** enumerator, DWORD flags) PURE;
};
