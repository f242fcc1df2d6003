// KestroCommonUtil: helpers for hosts' own graphs.
#pragma once

#include "KestroExport.h"
#include "streams.h"

class KCM_API KestroCommonUtil {
 public:
  // Puts the platform's video frame-rate converter (a DMO in the DMO wrapper filter,
  // added to `graphBuilder` as "Video FrameRateConvert Filter") behind `inputFilter`, so
  // that the stream of uncompressed video `fourCC`/`inputInfo` leaves it with frames
  // `avgTimePerFrame` (100 ns units) apart. The converter's input and output types are
  // set here; the output type is handed back in `mtOut`. When `inputFilter` is given,
  // its first unconnected output pin is connected to the converter (none → E_POINTER,
  // the converter released but left in the graph); null leaves the converter
  // unconnected. On success *fpsFilter holds the converter (one reference).
  static HRESULT addFrameRateConnvertorFilter(unsigned int fourCC, tagVIDEOINFO& inputInfo, __int64 avgTimePerFrame,
                                              IGraphBuilder* graphBuilder, IBaseFilter* inputFilter,
                                              IBaseFilter** fpsFilter, CMediaType& mtOut);
};
