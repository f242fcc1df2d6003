// CCrossbar: the routes from the physical video inputs of an analog capture device to
// its capture pin, through every chain of crossbar filters (IAMCrossbar) upstream of
// that pin, and the selection of one route, which routes every crossbar on its way
// (video and, where a crossbar pairs one, the related audio pins).
//
// Not thread-safe: one thread builds, lists and selects.
#pragma once

#include <list>

#include "KestroExport.h"
#include "strmif.h"

// One step of a route: the crossbar it passes and the pins it joins there.
class KCM_API CRouting {
 public:
  CRouting* leftRouting;   // the step upstream (towards the physical input), null at the input end
  CRouting* rightRouting;  // the step downstream (towards the capture pin), null at the capture end
  int32_t videoInputIndex;
  int32_t videoOutputIndex;
  int32_t audioInputIndex;   // the crossbar's audio pin related to the video input, -1 when none
  int32_t audioOutputIndex;  // the crossbar's audio pin related to the video output, -1 when none
  IAMCrossbar* crossbar;     // one reference held in saved routes
  int32_t inputPhysicalType;
  int32_t outputPhysicalType;
  int32_t depth;  // 0 next to the capture filter, rising upstream
};

class KCM_API CCrossbar {
 public:
  // Builds the routes upstream of `startingInputPin` (the capture filter's video input
  // pin). *phr, when given, receives the build result: E_FAIL when no crossbar is
  // upstream, or E_OUTOFMEMORY when the route list can't be created.
  CCrossbar(IPin* startingInputPin, HRESULT* phr);
  ~CCrossbar();
  CCrossbar(const CCrossbar&) = delete;
  CCrossbar& operator=(const CCrossbar&) = delete;

  // The number of routes.
  HRESULT GetInputCount(long* count);
  // The physical connector type where route `index` starts.
  HRESULT GetInputType(long index, long* physicalType);
  // That connector's name, truncated to `size` characters including the terminator.
  HRESULT GetInputName(long index, wchar_t* name, long size);
  // Routes every crossbar of route `index`; the result of the last Route call.
  HRESULT SetInputIndex(long index);
  // The index last set (0 before any).
  HRESULT GetInputIndex(long* index);

 private:
  HRESULT BuildRoutingList(IPin* startingInputPin, CRouting* routing, int depth);
  HRESULT SaveRouting(CRouting* routingNew);
  HRESULT DestroyRoutingList();
  BOOL StringFromPinType(wchar_t* name, int size, long physicalType);
  HRESULT GetCrossbarIPinAtIndex(IAMCrossbar* crossbar, long index, BOOL isInput, IPin** pin);
  HRESULT GetCrossbarIndexFromIPin(IAMCrossbar* crossbar, long* index, BOOL isInput, IPin* pin);

  [[maybe_unused]] IPin* m_pStartingPin;  // where the routes were built from; no reference held
  CRouting m_RoutingRoot;
  // "RoutingList": one array of depth + 1 steps per route, the first step at the input end.
  std::list<CRouting*>* m_RoutingList;
  int32_t m_CurrentRoutingIndex;
};
