#include "QueueService.h"

#include "KestroLog.h"
#include "SourcePath.h"
#include "UnknownExFactory.h"
#include "handleapi.h"
#include "ioapiset.h"
#include "synchapi.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("QueueService");
constexpr ULONG_PTR kStopKey = 0x77000000;

}  // namespace

CQueueService::CQueueService() : _started(false), _sink(nullptr), _port(nullptr) {}

// Releasing a started service stops it first, so that no worker outlives its owner.
CQueueService::~CQueueService() {
  if (_started || _port != nullptr) StopService();
}

// A second start, a null sink and zero queues are refused: each would leave a worker
// without owner or items without a queue.
bool CQueueService::StartService(IQueueServiceSink* sink, unsigned long queueCount, unsigned long idleTimeout) {
  if (_started || _port != nullptr || sink == nullptr || queueCount == 0) return false;
  _sink = sink;
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port == nullptr) return false;
  _port = port;
  _worker.Prepare(port, this, static_cast<uint32_t>(queueCount), static_cast<uint32_t>(idleTimeout));
  if (!_worker.StartThead()) return false;
  _started = true;
  return true;
}

bool CQueueService::StopService() {
  _started = false;
  HANDLE port = _port;
  if (port != nullptr) PostQueuedCompletionStatus(port, 0, kStopKey, nullptr);
  _worker.StopThread(INFINITE);
  _worker.Release();
  if (port != nullptr) {
    _port = nullptr;
    CloseHandle(port);
  }
  return true;
}

bool CQueueService::IsServiceStarted() { return _started; }

bool CQueueService::AddToQueue(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size,
                               __int64 value1, __int64 value2, __int64 value3, __int64 value4) {
  HANDLE port = _port;
  if (!_started || port == nullptr) return false;
  _worker.Store(queueIndex, identifier, data, size, value1, value2, value3, value4);
  PostQueuedCompletionStatus(port, static_cast<DWORD>(size), static_cast<ULONG_PTR>(queueIndex), nullptr);
  return true;
}

unsigned long CQueueService::GetQueueMemSize() { return _worker.MemSize(); }

unsigned long CQueueService::GetQueuePacketCount() { return _worker.PacketCount(); }

void* CreateQueueService(const GUID& iid, unsigned long version) {
  return CreateUnknownExObject<CQueueService>(iid, version);
}

CQueueServiceThread::CQueueServiceThread()
    : _port(nullptr), _queueCount(1), _queues(nullptr), _owner(nullptr), _idleTimeout(INFINITE) {}

CQueueServiceThread::~CQueueServiceThread() { Release(); }

void CQueueServiceThread::Prepare(HANDLE port, CQueueService* owner, uint32_t queueCount, uint32_t idleTimeout) {
  CThreadLockHandle guard(&_lock, true);
  _port = port;
  _owner = owner;
  _idleTimeout = idleTimeout;
  _queueCount = queueCount;
  _queues = new CDataStorage[queueCount];
}

void CQueueServiceThread::Release() {
  CThreadLockHandle guard(&_lock, true);
  _port = nullptr;
  if (_queues == nullptr) return;
  GiveBackDelivered();  // a worker ended by force may not have
  for (uint32_t i = 0; i < _queueCount; ++i) _queues[i].RemoveData(true);
  delete[] _queues;
  _queues = nullptr;
}

void CQueueServiceThread::Store(unsigned long queueIndex, unsigned long identifier, void* data, unsigned long size,
                                __int64 value1, __int64 value2, __int64 value3, __int64 value4) {
  CThreadLockHandle guard(&_lock, true);
  if (_queues == nullptr) return;
  const uint32_t queue = queueIndex < _queueCount ? static_cast<uint32_t>(queueIndex) : _queueCount - 1;
  _queues[queue].AddData(identifier, data, size, value1, value2, value3, value4);
}

unsigned long CQueueServiceThread::MemSize() {
  CThreadLockHandle guard(&_lock, true);
  unsigned long total = 0;
  for (uint32_t i = 0; _queues != nullptr && i < _queueCount; ++i) total += _queues[i].GetMemSize();
  return total;
}

unsigned long CQueueServiceThread::PacketCount() {
  CThreadLockHandle guard(&_lock, true);
  unsigned long total = 0;
  for (uint32_t i = 0; _queues != nullptr && i < _queueCount; ++i) total += _queues[i].GetPacketCount();
  return total;
}

bool CQueueServiceThread::OnThreadStartEvent() { return _owner->Sink()->OnQueueServiceStart(); }

bool CQueueServiceThread::OnThreadStopEvent() {
  GiveBackDelivered();
  _owner->Sink()->OnQueueServiceStop();
  return true;
}

bool CQueueServiceThread::OnThreadRun() {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  if (GetQueuedCompletionStatus(_port, &bytes, &key, &overlapped, _idleTimeout)) {
    if (key == kStopKey) return false;
    Deliver(key < _queueCount ? static_cast<uint32_t>(key) : _queueCount - 1);
    return true;
  }
  GiveBackDelivered();
  if (_idleTimeout == INFINITE) return false;
  NotifyIdle();
  return true;
}

// The item is handed over outside the worker's lock: producers go on adding meanwhile.
// It is given back when the next one is taken, under the same hold of the queue's lock.
__attribute__((no_sanitize("null"))) void CQueueServiceThread::Deliver(uint32_t queueIndex) {
  CDataStorage& queue = _queues[queueIndex];
  if (_delivered.queueIndex != queueIndex) GiveBackDelivered();
  CDataStorage::tagDataPacket* item = queue.Exchange_GetData(_delivered.packet);
  _delivered = {};
  if (item == nullptr) return;
  try {
    _owner->Sink()->OnQueueServiceSink(queueIndex, item->identifier, item->buffer.data(), item->size, item->value1,
                                       item->value2, item->value3, item->value4);
  } catch (abi::__forced_unwind&) {
    queue.End_GetData(item);
    throw;
  } catch (...) {
    kcm_logExpression(kSourcePath, __LINE__, "OnQueueServiceThread error", KcmLogDebug, true);
  }
  _delivered = {item, queueIndex};
}

void CQueueServiceThread::GiveBackDelivered() {
  if (_delivered.packet != nullptr) _queues[_delivered.queueIndex].End_GetData(_delivered.packet);
  _delivered = {};
}

__attribute__((no_sanitize("null"))) void CQueueServiceThread::NotifyIdle() {
  try {
    _owner->Sink()->OnQueueServiceIdle();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    kcm_logExpression(kSourcePath, __LINE__, "OnQueueServiceIdle error", KcmLogDebug, true);
  }
}
