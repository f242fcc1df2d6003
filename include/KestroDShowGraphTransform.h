// Transform graphs: media the host holds in memory runs, buffer by buffer, through an
// ffdshow filter inside a DirectShow graph and comes back to the host through a sink.
// One chain per valid stream of the program:
//
//   sample source filter → ffdshow filter → sample render filter
//
// CDShowGraphDecode decodes compressed streams, CDShowGraphRawProcess processes raw ones
// (colour space, flip, volume). Output samples reach the host on ffdshow's streaming
// threads. write/fillSample/notifySample must not race open or close.
#pragma once

#include "KestroDShowGraphBase.h"
#include "KestroMediaStreamType.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "KestroUnknownEx.h"

class CDShowGraphTransform;

// {18B5BF59-3C98-43B1-AC85-F3A75B296940}
DEFINE_GUID(IID_IDShowGraphTransformSink2, 0x18B5BF59, 0x3C98, 0x43B1, 0xAC, 0x85, 0xF3, 0xA7, 0x5B, 0x29, 0x69, 0x40);

// The host's receiver of a transform graph's output samples.
class IDShowGraphTransformSink : public IUnknownEx {
 public:
  // One output sample of the stream `streamType` describes, lent for the call (add a
  // reference to keep it). `mediaKind` is the stream's _AMTYPE.
  virtual HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform* graph, int mediaKind,
                                                           IMediaSample* sample, tagKestroStreamType* streamType) = 0;

 protected:
  ~IDShowGraphTransformSink() = default;
};

// Offered by a host sink through Ex_QueryInterface(IID_IDShowGraphTransformSink2): lets
// the host adjust each ffdshow filter after the library's default settings.
class IDShowGraphTransformSink2 : public IUnknownEx {
 public:
  virtual HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform* graph, _AMTYPE at,
                                                           tagKestroStreamType* srcType, IUnknown* ffdshowFilter,
                                                           bool flipVideo) = 0;

 protected:
  ~IDShowGraphTransformSink2() = default;
};

class KCM_API CDShowGraphTransform : public CDShowGraphBase, public ISampleRenderSink {
 public:
  CDShowGraphTransform();
  ~CDShowGraphTransform() override;

  // Stores the host's sink (not reference-counted), replacing any earlier one. S_OK.
  virtual HRESULT init(IDShowGraphTransformSink* sink);
  // Builds and runs the graph: one chain per valid stream; a stream that cannot be built
  // is left out. S_OK without effect when a graph exists already.
  virtual HRESULT open(tagKestroProgramType& program);
  // Delivers `size` bytes as one sample of stream `at` (_AMTYPE), stamped unless `start`
  // is -1; returns when the ffdshow filter took it. `at` outside 0-2 → E_FAIL; no such
  // stream → S_OK, nothing happens.
  virtual HRESULT write(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, unsigned long size);
  // The two-step write: fill a sample without blocking, deliver it with notifySample.
  virtual HRESULT fillSample(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, unsigned long size,
                             IMediaSample** out);
  virtual HRESULT notifySample(int at, IMediaSample* sample);
  // The audio ffdshow filter's master volume; S_OK without an audio stream.
  virtual HRESULT setMasterVolume(int value);
  // Stops the graph, takes it apart and releases every filter. Idle afterwards.
  virtual HRESULT close();
  // The program the last open was given.
  virtual tagKestroProgramType& getSrcProgramType();

  // ISampleRenderSink
  bool Ex_IsValid() override;
  bool Ex_Release() override;
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override;
  HRESULT OnDoRenderSample(ISampleRender* render, int mediaKind, IMediaSample* sample,
                           tagKestroStreamType* streamType, int sourceIndex) override;

 protected:
  virtual HRESULT createDShowStream(_AMTYPE at, tagKestroStreamType& streamType);
  virtual HRESULT applyDefaultFFDshowSetting(_AMTYPE at, tagKestroStreamType* srcType, IBaseFilter* ffdshowFilter,
                                             bool flipVideo);
  // The ffdshow filter of the stream kind (one reference), or null with *phr set.
  virtual IBaseFilter* createTffdshowTransformFilter(_AMTYPE at, HRESULT* phr) = 0;
  virtual HRESULT createMediaRender(_AMTYPE at, tagKestroStreamType& streamType, IBaseFilter* upFilter,
                                    IBaseFilter** out);

  IDShowGraphTransformSink* _sink;
  tagKestroProgramType _srcProgramType;
  IBaseFilter* _sampleSourceFilter[3];
  IBaseFilter* _ffdshowFilter[3];
  IBaseFilter* _sampleRenderFilter[3];
  ISampleSource* _sampleSource[3];

 private:
  HRESULT addChainFilters(_AMTYPE at, tagKestroStreamType& streamType, IBaseFilter* sampleSourceFilter,
                          ISampleSource** sampleSource, IBaseFilter** ffdshowFilter);
  void endStreams();
  HRESULT removeStreamFilters();
  void releaseStreams();
  bool hasSource(int at) const;
};

// Decodes: ffdshow's video and audio decoders.
class KCM_API CDShowGraphDecode : public CDShowGraphTransform {
 protected:
  IBaseFilter* createTffdshowTransformFilter(_AMTYPE at, HRESULT* phr) override;
};

// Processes raw media: ffdshow's raw video and raw audio filters.
class KCM_API CDShowGraphRawProcess : public CDShowGraphTransform {
 protected:
  IBaseFilter* createTffdshowTransformFilter(_AMTYPE at, HRESULT* phr) override;
};
