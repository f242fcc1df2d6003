#include "KestroDataStorage.h"

#include <algorithm>
#include <memory>

namespace {

const unsigned int kMinimumCapacity = 1024;
const size_t kUsualHandedOut = 8;
// A consumer taking packets in a loop shows the producers its given-back packets in
// batches of this many (or when it runs out of waiting ones).
const size_t kGiveBackBatch = 64;
// How much of a packet's bytes an add asks for ahead of use.
const uint32_t kPrefetchedBytes = 1024;

// Every packet starts a cache line of its own and fills whole lines: a producer filling
// one packet never shares a line with a consumer reading the one next to it.
struct alignas(64) LinePacket : CDataStorage::tagDataPacket {
  using tagDataPacket::tagDataPacket;
};

struct PacketDeleter {
  void operator()(CDataStorage::tagDataPacket* packet) const { delete static_cast<LinePacket*>(packet); }
};

typedef std::unique_ptr<CDataStorage::tagDataPacket, PacketDeleter> OwnedPacket;

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
  OwnedPacket owned;
  if (!_givenBack.pop(&packet)) {
    owned.reset(new LinePacket(std::max(static_cast<unsigned int>(size), kMinimumCapacity)));
    packet = owned.get();
  } else {
    owned.reset(packet);  // freed if it cannot grow
    packet->buffer.clear();
  }
  fill(packet, identifier, data, size, value1, value2, value3, value4);
  _waiting.push(packet);
  owned.release();
  prefetchNextFree();
  return true;
}

// A given-back packet's cache lines were last held by the consumer's core. Asking for
// them ahead of use lets the transfers overlap whatever the producer does meanwhile,
// instead of stalling the add that fills the packet: the bytes of the next packet (its
// header was asked for on the add before) and the header of the one after.
void CDataStorage::prefetchNextFree() {
  tagDataPacket* packet = nullptr;
  if (_givenBack.peek(0, &packet)) {
    const char* bytes = reinterpret_cast<const char*>(packet->buffer._store.data());
    const uint32_t length = std::min<uint32_t>(packet->size, kPrefetchedBytes);
    for (uint32_t offset = 0; offset < length; offset += 64) __builtin_prefetch(bytes + offset, 1);
  }
  if (_givenBack.peek(1, &packet)) {
    __builtin_prefetch(packet, 1);
    __builtin_prefetch(reinterpret_cast<const char*>(packet) + 64, 1);
  }
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
  while (_givenBack.pop(&packet)) PacketDeleter()(packet);
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
