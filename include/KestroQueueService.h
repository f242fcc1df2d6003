// The queue service: items handed in on any thread reach a sink, in order, on one worker.
#pragma once

#include "KestroExport.h"
#include "KestroTempldateHelper.h"
#include "KestroUnknownEx.h"
#include "minwindef.h"

class IQueueServiceSink;

class IQueueServiceEngine : public IUnknownEx {
 public:
  virtual bool StartService(IQueueServiceSink* sink, unsigned long queueCount, unsigned long idleTimeout) = 0;
  virtual bool StopService() = 0;
  virtual bool IsServiceStarted() = 0;
  virtual bool AddToQueue(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size,
                          __int64 value1, __int64 value2, __int64 value3, __int64 value4) = 0;
  virtual unsigned long GetQueueMemSize() = 0;
  virtual unsigned long GetQueuePacketCount() = 0;

 protected:
  ~IQueueServiceEngine() = default;
};

// Implemented by the service's user; all four calls come on the service's worker thread.
class IQueueServiceSink : public IUnknownEx {
 public:
  virtual bool OnQueueServiceStart() = 0;
  virtual bool OnQueueServiceStop() = 0;
  // `data` is the service's copy of the item's bytes, valid only during the call.
  virtual void OnQueueServiceSink(unsigned long queueIndex, unsigned long identifier, void* data,
                                  unsigned long size, __int64 value1, __int64 value2, __int64 value3,
                                  __int64 value4) = 0;
  virtual void OnQueueServiceIdle() = 0;

 protected:
  ~IQueueServiceSink() = default;
};

// Answers a new queue service as the interface asked for (IQueueServiceEngine or
// IUnknownEx with an accepted version), or null. A second StartService while started, a
// null sink and a queue count of 0 are refused; releasing a started service stops it.
extern "C" KCM_API void* CreateQueueService(const GUID& iid, unsigned long version);

// Obtains a queue service from the library's own file by name, as any host may.
class CQueueServiceHelper : public CTempldateHelper<IQueueServiceEngine> {
 public:
  CQueueServiceHelper()
      : CTempldateHelper<IQueueServiceEngine>(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION,
                                              L"KestroCommonModule.dll", "CreateQueueService") {}
};
