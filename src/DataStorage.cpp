#include "KestroDataStorage.h"

#include <algorithm>
#include <memory>

namespace {

const unsigned int kMinimumCapacity = 1024;
const size_t kUsualHandedOut = 8;
// A consumer taking packets in a loop shows the producers its given-back packets in
// batches of this many (or when it runs out of waiting ones).
const size_t kGiveBackBatch = 64;

}  // namespace

CDataStorage::CDataStorage() { _handedOut.reserve(kUsualHandedOut); }

CDataStorage::~CDataStorage() { RemoveData(true); }

void CDataStorage::fill(tagDataPacket* packet, unsigned long identifier, void* const data, unsigned long size,
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

bool CDataStorage::AddData(unsigned long identifier, void* const data, unsigned long size, __int64 value1,
                           __int64 value2, __int64 value3, __int64 value4) {
  if ((data == nullptr && size != 0) || size > UINT32_MAX) return false;
  CThreadLockHandle handle(&_lock, true);
  tagDataPacket* packet = nullptr;
  std::unique_ptr<tagDataPacket> owned;
  if (!_givenBack.pop(&packet)) {
    owned = std::make_unique<tagDataPacket>(std::max(static_cast<unsigned int>(size), kMinimumCapacity));
    packet = owned.get();
  } else {
    owned.reset(packet);  // freed if it cannot grow
    packet->buffer.clear();
  }
  fill(packet, identifier, data, size, value1, value2, value3, value4);
  _waiting.push(packet);
  owned.release();
  return true;
}

CDataStorage::tagDataPacket* CDataStorage::Begin_GetData() {
  CThreadLockHandle handle(&_takeLock, true);
  return takeOldest();
}

void CDataStorage::End_GetData(tagDataPacket* packet) {
  if (packet == nullptr) return;
  CThreadLockHandle handle(&_takeLock, true);
  giveBack(packet);
  _givenBack.publish();
}

CDataStorage::tagDataPacket* CDataStorage::Exchange_GetData(tagDataPacket* givenBack) {
  CThreadLockHandle handle(&_takeLock, true);
  if (givenBack != nullptr) giveBack(givenBack);
  tagDataPacket* packet = takeOldest();
  if (packet == nullptr || _givenBack.staged() >= kGiveBackBatch) _givenBack.publish();
  return packet;
}

// The caller holds _takeLock.
CDataStorage::tagDataPacket* CDataStorage::takeOldest() {
  tagDataPacket* packet = nullptr;
  if (!_waiting.pop(&packet)) return nullptr;
  _handedOut.push_back(packet);
  return packet;
}

// The caller holds _takeLock. A packet that is not out is ignored. The producer that
// reuses it empties it: a consumer that wrote to it here would make that producer fetch
// the packet's cache line back from the consumer's core.
void CDataStorage::giveBack(tagDataPacket* packet) {
  auto found = std::find(_handedOut.begin(), _handedOut.end(), packet);
  if (found == _handedOut.end()) return;
  *found = _handedOut.back();
  _handedOut.pop_back();
  _givenBack.stage(packet);
}

void CDataStorage::RemoveData(bool freeMemory) {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  _givenBack.publish();
  tagDataPacket* packet = nullptr;
  while (_waiting.pop(&packet)) {
    packet->buffer.clear();
    _givenBack.push(packet);
  }
  if (!freeMemory) return;
  while (_givenBack.pop(&packet)) delete packet;
}

unsigned long CDataStorage::GetPacketCount() {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  return static_cast<unsigned long>(_waiting.waiting());
}

bool CDataStorage::IsEmpty() { return GetPacketCount() == 0; }

unsigned long CDataStorage::GetMemSize() {
  CThreadLockHandle take(&_takeLock, true);
  CThreadLockHandle handle(&_lock, true);
  unsigned long total = 0;
  _waiting.forEachWaiting([&total](const tagDataPacket* packet) { total += packet->buffer.capacity(); });
  return total;
}
