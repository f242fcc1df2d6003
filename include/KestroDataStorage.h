// CDataStorage: a thread-safe first-in, first-out store of data packets that recycles
// them. A producer adds a copy of a block of bytes with an identifier and four values;
// a consumer takes the oldest packet, uses it and gives it back, and a later add reuses
// the packet, buffer and all.
//
// Packets, their buffers and the ring segments that carry them are all reused: once a
// steady stream of blocks of similar sizes has warmed up, AddData, Begin_GetData and
// End_GetData allocate nothing. Packets are freed only by RemoveData(true) and the
// destructor.
#pragma once

#include <stdint.h>

#include <vector>

#include "minwindef.h"

#include "KestroExport.h"
#include "KestroHandOffRing.h"
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
  // with a non-zero |size| or a |size| beyond 32 bits. An allocation failure propagates;
  // the storage is as it was, save for a given-back packet that could not grow, which
  // is freed.
  bool AddData(unsigned long identifier, void* const data, unsigned long size, __int64 value1, __int64 value2,
               __int64 value3, __int64 value4);
  // Takes the oldest packet; null when none waits. The packet is the caller's, to be read
  // outside the lock, until End_GetData gives it back.
  tagDataPacket* Begin_GetData();
  // Gives a packet from Begin_GetData back for reuse. A null packet, or one that is not
  // out of this storage (never handed out, or given back already), is ignored.
  void End_GetData(tagDataPacket* packet);
  // End_GetData(|givenBack|) and then Begin_GetData() under one hold of the lock, for a
  // consumer that takes packets in a loop. Packets given back this way reach the
  // producers in batches (or as soon as no packet waits), so that a consumer keeping
  // pace with a producer does not hand it a cache line per packet; until then AddData
  // makes new packets instead.
  tagDataPacket* Exchange_GetData(tagDataPacket* givenBack);
  // Moves every waiting packet, emptied and in order, behind the given-back ones; with
  // |freeMemory|, then destroys all of those.
  void RemoveData(bool freeMemory);

  unsigned long GetPacketCount();
  bool IsEmpty();
  // The buffer capacities of the waiting packets; given-back ones do not count.
  unsigned long GetMemSize();

 private:
  // Waiting packets go from the producers' side (under _lock) to the consumers' side
  // (under _takeLock); given-back ones go the other way. Each side holds only its own
  // lock, so a producer and a consumer running at once do not trade a lock per packet.
  typedef KcmHandOffRing<tagDataPacket*, 512> PacketRing;

  tagDataPacket* takeOldest();
  void giveBack(tagDataPacket* packet);
  void prefetchNextFree();
  static void fill(tagDataPacket* packet, unsigned long identifier, void* const data, unsigned long size,
                   __int64 value1, __int64 value2, __int64 value3, __int64 value4);

  CThreadLock _lock;  // the producers' side: writes _waiting, reads _givenBack
  PacketRing _waiting;   // oldest first
  PacketRing _givenBack;  // emptied, for reuse

  // The consumers' side, on cache lines of its own.
  alignas(64) CThreadLock _takeLock;  // reads _waiting, writes _givenBack; taken before _lock
  // The packets handed out: End_GetData takes back only these. Few are out at a time.
  std::vector<tagDataPacket*> _handedOut;
};
