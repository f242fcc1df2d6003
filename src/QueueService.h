// CQueueService and its worker: items from any thread reach the sink on one thread.
#pragma once

#include <atomic>

#include "KestroDataStorage.h"
#include "KestroQueueService.h"
#include "KestroServiceThread.h"
#include "KestroThreadLock.h"
#include "UnknownExObject.h"

class CQueueService;

// Waits on the completion port for one packet per pass and hands the item to the sink.
class CQueueServiceThread : public CServiceThread {
 public:
  CQueueServiceThread();
  ~CQueueServiceThread() override;

  // Gives the worker its port, owner and time-out, and creates the queues.
  void Prepare(HANDLE port, CQueueService* owner, uint32_t queueCount, uint32_t idleTimeout);
  // Frees every queue and item; the worker has ended.
  void Release();
  // Copies the item into queue min(queueIndex, count - 1).
  void Store(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size, __int64 value1,
             __int64 value2, __int64 value3, __int64 value4);
  unsigned long MemSize();
  unsigned long PacketCount();

 private:
  bool OnThreadStartEvent() override;
  bool OnThreadStopEvent() override;
  bool OnThreadRun() override;
  void Deliver(uint32_t queueIndex);
  void GiveBackDelivered();
  void NotifyIdle();

  HANDLE _port;
  uint32_t _queueCount;
  CDataStorage* _queues;
  CQueueService* _owner;
  uint32_t _idleTimeout;
  // The item last handed to the sink, kept out until the worker takes the next one.
  struct DeliveredItem {
    CDataStorage::tagDataPacket* packet = nullptr;
    uint32_t queueIndex = 0;
  } _delivered;
  // Guards the queue array and the totals. Only producers take it; on a cache line of its
  // own, the worker's reads of the fields above do not steal it from them.
  alignas(64) CThreadLock _lock;
};

class CQueueService : public CUnknownExObject<IQueueServiceEngine, IID_IQueueServiceEngine> {
 public:
  CQueueService();
  ~CQueueService() override;

  bool StartService(IQueueServiceSink* sink, unsigned long queueCount, unsigned long idleTimeout) override;
  bool StopService() override;
  bool IsServiceStarted() override;
  bool AddToQueue(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size, __int64 value1,
                  __int64 value2, __int64 value3, __int64 value4) override;
  unsigned long GetQueueMemSize() override;
  unsigned long GetQueuePacketCount() override;

  IQueueServiceSink* Sink() { return _sink; }

 private:
  // Producers read the flag and the port while the owner may be stopping the service.
  std::atomic<bool> _started;
  IQueueServiceSink* _sink;  // not owned
  CQueueServiceThread _worker;
  std::atomic<HANDLE> _port;
};
