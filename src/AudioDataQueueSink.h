// The queue-service sink of CKestroAudioRender: forwards the four sink calls to it.
#pragma once

#include "KestroQueueService.h"

class CKestroAudioRender;

class CAudioDataQueueSink : public IQueueServiceSink {
 public:
  explicit CAudioDataQueueSink(CKestroAudioRender* render);
  virtual ~CAudioDataQueueSink() = default;
  CAudioDataQueueSink(const CAudioDataQueueSink&) = delete;
  CAudioDataQueueSink& operator=(const CAudioDataQueueSink&) = delete;

  bool Ex_IsValid() override;
  bool Ex_Release() override;
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override;

  bool OnQueueServiceStart() override;
  bool OnQueueServiceStop() override;
  void OnQueueServiceSink(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size,
                          __int64 value1, __int64 value2, __int64 value3, __int64 value4) override;
  void OnQueueServiceIdle() override;

 private:
  CKestroAudioRender* _render;  // not owned: the render owns this sink
};
