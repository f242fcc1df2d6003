#include "AudioDataQueueSink.h"

#include "KestroAudioRender.h"

CAudioDataQueueSink::CAudioDataQueueSink(CKestroAudioRender* render) : _render(render) {}

bool CAudioDataQueueSink::OnQueueServiceStart() { return _render->OnAudioDataQueueServiceStart(); }

bool CAudioDataQueueSink::OnQueueServiceStop() { return _render->OnAudioDataQueueServiceStop(); }

void CAudioDataQueueSink::OnQueueServiceSink(unsigned long queueIndex, unsigned long identifier, void* data,
                                             unsigned long size, __int64 value1, __int64 value2, __int64 value3,
                                             __int64 value4) {
  _render->OnAudioDataQueueServiceSink(queueIndex, identifier, data, size, value1, value2, value3, value4);
}

void CAudioDataQueueSink::OnQueueServiceIdle() { _render->OnAudioDataQueueServiceIdle(); }
