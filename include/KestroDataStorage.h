// CDataStorage: a thread-safe first-in, first-out store of data packets that recycles
// them. A producer adds a copy of a block of bytes with an identifier and four values;
// a consumer takes the oldest packet, uses it and gives it back, and a later add reuses
// the packet, buffer and all.
//
// Packets, their buffers and the list nodes that carry them are all reused: once a
// steady stream of blocks of similar sizes has warmed up, AddData, Begin_GetData and
// End_GetData allocate nothing. Memory is given back only by RemoveData(true) and the
// destructor.
#pragma once

#include <stdint.h>

#include <atomic>
#include <list>

#include "minwindef.h"

#include "KestroExport.h"
#include "KestroIOBuffer.h"
#include "KestroThreadLock.h"

class KCM_API CDataStorage {
 public:
  struct tagDataPacket {
    explicit tagDataPacket(unsigned int capacity)
        : size(0), identifier(0), value1(0), value2(0), value3(0), value4(0), buffer(capacity) {}

    uint32_t size;  // the byte count given to AddData
    uint32_t identifier;
    __int64 value1;
    __int64 value2;
    __int64 value3;
    __int64 value4;
    // The copied bytes; its context values are value1 to value4. Its capacity is at
    // least 1024 and never shrinks while the packet is reused.
    Kestro::CIOBuffer buffer;
  };

  CDataStorage();
  // Destroys every packet the storage holds. A packet still handed out belongs to its
  // holder and is not touched.
  virtual ~CDataStorage();

  // The storage owns its packets and a lock; the library never copies one.
  CDataStorage(const CDataStorage&) = delete;
  CDataStorage& operator=(const CDataStorage&) = delete;

  // Stores a copy of |size| bytes at |data| as the newest packet, reusing a given-back
  // packet when there is one. Answers true; false, storing nothing, for a null |data|
  // with a non-zero |size| or a |size| beyond 32 bits. An allocation failure propagates
  // and leaves the storage as it was.
  bool AddData(unsigned long identifier, void* const data, unsigned long size, __int64 value1, __int64 value2,
               __int64 value3, __int64 value4);
  // Takes the oldest packet; null when none waits. The packet is the caller's, to be read
  // outside the lock, until End_GetData gives it back.
  tagDataPacket* Begin_GetData();
  // Gives a packet from Begin_GetData back for reuse. A null packet, or one that is not
  // out of this storage (never handed out, or given back already), is ignored.
  void End_GetData(tagDataPacket* packet);
  // End_GetData(|givenBack|) and then Begin_GetData() under one hold of the lock, for a
  // consumer that takes packets in a loop.
  tagDataPacket* Exchange_GetData(tagDataPacket* givenBack);
  // Moves every waiting packet, emptied and in order, behind the given-back ones; with
  // |freeMemory|, then destroys all of those.
  void RemoveData(bool freeMemory);

  unsigned long GetPacketCount();
  bool IsEmpty();
  // The buffer capacities of the waiting packets; given-back ones do not count.
  unsigned long GetMemSize();

 private:
  typedef std::list<tagDataPacket*> PacketList;

  // The consumer's list moves; the caller holds _takeLock.
  tagDataPacket* takeOldest();
  void giveBack(tagDataPacket* packet);
  void exchangeBatch();
  void collectGivenBack();
  bool freeListLooksEmpty() const;
  // Fills the packet in |staged|, or a new one when it is empty, and appends it.
  void addGrown(PacketList& staged, unsigned long identifier, void* const data, unsigned long size, __int64 value1,
                __int64 value2, __int64 value3, __int64 value4);

  // The producers' side.
  PacketList _dataList;  // waiting packets, oldest first
  PacketList _freeList;  // given-back packets, emptied, for reuse
  CThreadLock _lock;     // guards _dataList and _freeList
  std::atomic<bool> _freeListEmpty{true};  // a hint, read without the lock

  // The consumers' side, on cache lines of its own: a consumer takes waiting packets over
  // in batches, so that it meets the producers on _lock once per batch.
  alignas(64) CThreadLock _takeLock;  // guards the lists below; taken before _lock
  PacketList _takenAhead;  // the oldest waiting packets, taken over from _dataList
  // The nodes of the packets handed out, still pointing at them: End_GetData moves the
  // node back, so the lists need no allocation, and a packet that is not out is found
  // not to be.
  PacketList _handedOut;
  PacketList _givenBack;  // emptied, passed on to _freeList with the next batch
};
