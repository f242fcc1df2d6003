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
  CThreadLockHandle handle(&_lock, true);
  if (!_freeList.empty()) {
    // The packet stays on the free list until it is filled, so a failed growth loses nothing.
    fill(_freeList.front(), identifier, data, size, value1, value2, value3, value4);
    _dataList.splice(_dataList.end(), _freeList, _freeList.begin());
    return true;
  }
  auto packet = std::make_unique<tagDataPacket>(std::max(static_cast<unsigned int>(size), kMinimumCapacity));
  fill(packet.get(), identifier, data, size, value1, value2, value3, value4);
  _dataList.push_back(packet.get());
  packet.release();
  return true;
}

CDataStorage::tagDataPacket* CDataStorage::Begin_GetData() {
  CThreadLockHandle handle(&_lock, true);
  if (_dataList.empty()) return nullptr;
  _handedOut.splice(_handedOut.end(), _dataList, _dataList.begin());
  return _handedOut.back();
}

void CDataStorage::End_GetData(tagDataPacket* packet) {
  if (packet == nullptr) return;
  CThreadLockHandle handle(&_lock, true);
  // Few packets are out at a time; the search is short.
  auto node = std::find(_handedOut.begin(), _handedOut.end(), packet);
  if (node == _handedOut.end()) return;
  packet->buffer.clear();
  _freeList.splice(_freeList.end(), _handedOut, node);
}

void CDataStorage::RemoveData(bool freeMemory) {
  CThreadLockHandle handle(&_lock, true);
  for (tagDataPacket* packet : _dataList) packet->buffer.clear();
  _freeList.splice(_freeList.end(), _dataList);
  if (freeMemory) destroyAll(_freeList);
}

unsigned long CDataStorage::GetPacketCount() {
  CThreadLockHandle handle(&_lock, true);
  return static_cast<unsigned long>(_dataList.size());
}

bool CDataStorage::IsEmpty() {
  CThreadLockHandle handle(&_lock, true);
  return _dataList.empty();
}

unsigned long CDataStorage::GetMemSize() {
  CThreadLockHandle handle(&_lock, true);
  unsigned long total = 0;
  for (const tagDataPacket* packet : _dataList) total += packet->buffer.capacity();
  return total;
}
