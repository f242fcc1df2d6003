// The queue-service sink of CKestroAudioRender: forwards the four sink calls to it.
#pragma once

#include "KestroQueueService.h"
#include "UnknownExObject.h"

class CKestroAudioRender;

class CAudioDataQueueSink : public CUnknownExObject<IQueueServiceSink, IID_IQueueServiceSink> {
 public:
  explicit CAudioDataQueueSink(CKestroAudioRender* render);
  virtual ~CAudioDataQueueSink() = default;
  CAudioDataQueueSink(const CAudioDataQueueSink&) = delete;
  CAudioDataQueueSink& operator=(const CAudioDataQueueSink&) = delete;

  bool OnQueueServiceStart() override;
  bool OnQueueServiceStop() override;
  void OnQueueServiceSink(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size,
                          __int64 value1, __int64 value2, __int64 value3, __int64 value4) override;
  void OnQueueServiceIdle() override;

 private:
  CKestroAudioRender* _render;  // not owned: the render owns this sink
};
