#include "KestroDataStorage.h"

#include <algorithm>
#include <memory>

namespace {

const unsigned int kMinimumCapacity = 1024;

void fill(CDataStorage::tagDataPacket* packet, unsigned long identifier, void* const data, unsigned long size,
          __int64 value1, __int64 value2, __int64 value3, __int64 value4) {
  // Copy first: if the buffer cannot grow, the packet keeps its old description.
  packet->buffer.push_data(value1, value2, static_cast<const Kestro::CIOBuffer::byte_type*>(data),
                           static_cast<unsigned int>(size), value3, value4, true);
  packet->size = static_cast<uint32_t>(size);
  packet->identifier = static_cast<uint32_t>(identifier);
  packet->value1 = value1;
  packet->value2 = value2;
  packet->value3 = value3;
  packet->value4 = value4;
}

void destroyAll(std::list<CDataStorage::tagDataPacket*>& packets) {
  for (CDataStorage::tagDataPacket* packet : packets) delete packet;
  packets.clear();
}

}  // namespace

CDataStorage::CDataStorage() = default;

CDataStorage::~CDataStorage() { RemoveData(true); }

bool CDataStorage::AddData(unsigned long identifier, void* const data, unsigned long size, __int64 value1,
                           __int64 value2, __int64 value3, __int64 value4) {
  if ((data == nullptr && size != 0) || size > UINT32_MAX) return false;
  PacketList staged;
  if (freeListLooksEmpty()) collectGivenBack();
  {
    CThreadLockHandle handle(&_lock, true);
    // The common case of a steady stream: a given-back packet that holds the bytes as it is.
    if (!_freeList.empty() && _freeList.front()->buffer.capacity() >= size) {
      fill(_freeList.front(), identifier, data, size, value1, value2, value3, value4);
      _dataList.splice(_dataList.end(), _freeList, _freeList.begin());
      _freeListEmpty.store(_freeList.empty(), std::memory_order_relaxed);
      return true;
    }
    if (!_freeList.empty()) staged.splice(staged.end(), _freeList, _freeList.begin());
    _freeListEmpty.store(_freeList.empty(), std::memory_order_relaxed);
  }
  addGrown(staged, identifier, data, size, value1, value2, value3, value4);
  return true;
}

// Allocation and the copy happen outside the lock: the consumer keeps taking packets
// meanwhile instead of waiting behind a page fault.
void CDataStorage::addGrown(PacketList& staged, unsigned long identifier, void* const data, unsigned long size,
                            __int64 value1, __int64 value2, __int64 value3, __int64 value4) {
  if (staged.empty()) {
    auto packet = std::make_unique<tagDataPacket>(std::max(static_cast<unsigned int>(size), kMinimumCapacity));
    staged.push_back(packet.get());
    packet.release();
  }
  try {
    fill(staged.front(), identifier, data, size, value1, value2, value3, value4);
  } catch (...) {
    // A packet that cannot grow goes back, emptied, for a later add.
    staged.front()->buffer.clear();
    CThreadLockHandle handle(&_lock, true);
    _freeList.splice(_freeList.begin(), staged);
    _freeListEmpty.store(false, std::memory_order_relaxed);
    throw;
  }
  CThreadLockHandle handle(&_lock, true);
  _dataList.splice(_dataList.end(), staged);
}

CDataStorage::tagDataPacket* CDataStorage::Begin_GetData() {
  CThreadLockHandle handle(&_takeLock, true);
  return takeOldest();
}

void CDataStorage::End_GetData(tagDataPacket* packet) {
  if (packet == nullptr) return;
  CThreadLockHandle handle(&_takeLock, true);
  giveBack(packet);
}

CDataStorage::tagDataPacket* CDataStorage::Exchange_GetData(tagDataPacket* givenBack) {
  CThreadLockHandle handle(&_takeLock, true);
  if (givenBack != nullptr) giveBack(givenBack);
  return takeOldest();
}

// The consumer's side holds _takeLock. It moves waiting packets over in batches, and
// given-back ones back with them, so that producer and consumer meet on the shared lock
// once per batch rather than twice per packet.
CDataStorage::tagDataPacket* CDataStorage::takeOldest() {
  if (_takenAhead.empty()) exchangeBatch();
  if (_takenAhead.empty()) return nullptr;
  _handedOut.splice(_handedOut.end(), _takenAhead, _takenAhead.begin());
  return _handedOut.back();
}

// Every waiting packet moves at once: splicing a whole list costs the same for one packet
// as for thousands, and walking the producers' nodes would cost a cache miss each.
void CDataStorage::exchangeBatch() {
  CThreadLockHandle handle(&_lock, true);
  _freeList.splice(_freeList.end(), _givenBack);
  _takenAhead.splice(_takenAhead.end(), _dataList);
  _freeListEmpty.store(_freeList.empty(), std::memory_order_relaxed);
}

void CDataStorage::giveBack(tagDataPacket* packet) {
  // Few packets are out at a time; the search is short.
  auto node = std::find(_handedOut.begin(), _handedOut.end(), packet);
  if (node == _handedOut.end()) return;
  packet->buffer.clear();
  _givenBack.splice(_givenBack.end(), _handedOut, node);
}

// A producer that finds no packet to reuse fetches the given-back ones the consumer
// has not passed on yet. Lock order: _takeLock, then _lock.
void CDataStorage::collectGivenBack() {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  _freeList.splice(_freeList.end(), _givenBack);
  _freeListEmpty.store(_freeList.empty(), std::memory_order_relaxed);
}

bool CDataStorage::freeListLooksEmpty() const { return _freeListEmpty.load(std::memory_order_relaxed); }

// Waiting packets are those taken ahead (the oldest) and those still on the data list.
void CDataStorage::RemoveData(bool freeMemory) {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  _freeList.splice(_freeList.end(), _givenBack);
  _takenAhead.splice(_takenAhead.end(), _dataList);
  for (tagDataPacket* packet : _takenAhead) packet->buffer.clear();
  _freeList.splice(_freeList.end(), _takenAhead);
  if (freeMemory) destroyAll(_freeList);
  _freeListEmpty.store(_freeList.empty(), std::memory_order_relaxed);
}

unsigned long CDataStorage::GetPacketCount() {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  return static_cast<unsigned long>(_takenAhead.size() + _dataList.size());
}

bool CDataStorage::IsEmpty() { return GetPacketCount() == 0; }

unsigned long CDataStorage::GetMemSize() {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  unsigned long total = 0;
  for (const tagDataPacket* packet : _takenAhead) total += packet->buffer.capacity();
  for (const tagDataPacket* packet : _dataList) total += packet->buffer.capacity();
  return total;
}
