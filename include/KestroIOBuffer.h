// Kestro::CIOBuffer: a growable byte buffer with a read position and a write position,
// plus four 64-bit context values that travel with the bytes.
//
// Bytes are appended behind the content and taken from its front without moving the
// content on every step; the content moves only in crunch(), in resize(), and when an
// append finds too little room behind it. Reading or consuming the last byte puts both
// offsets back to 0, so a buffer that is drained regularly never moves data at all.
//
// The buffer has no lock of its own: whoever shares one between threads guards it.
#pragma once

#include <stdint.h>

#include <vector>

#include "minwindef.h"

#include "KestroExport.h"

namespace Kestro {

class KCM_API CIOBuffer {
 public:
  typedef uint8_t byte_type;

  // The capacity becomes the larger of |capacity| and 1024. Every store byte is zero,
  // both offsets and all four context values are 0.
  CIOBuffer(unsigned int capacity = 1024);

  // Copies the offsets, the four context values and the whole store (same capacity,
  // same bytes, including those outside the content). No storage is shared afterwards.
  CIOBuffer(CIOBuffer& other);
  // Same copy as the constructor above. If the copy cannot be allocated, std::bad_alloc
  // propagates and this buffer is unchanged.
  CIOBuffer& operator=(CIOBuffer& other);
  // The same copy into |target|. A null |target| is ignored.
  void copyTo(CIOBuffer* target);

  ~CIOBuffer();

  // Sets both offsets to 0. The store and the context values are left as they are.
  void clear();

  // Number of unread bytes: end offset minus begin offset.
  unsigned int size() const;
  // True when the begin offset equals the end offset.
  bool empty() const;
  // Length of the store. It never shrinks.
  unsigned int capacity() const;
  // Room behind the content: capacity minus end offset. Consumed bytes in front of the
  // content do not count until crunch() reclaims them.
  unsigned int space() const;

  // Address of the first unread byte.
  byte_type* data();
  const byte_type* data() const;
  // Address one past the content, where the next appended bytes go.
  byte_type* end_data();
  const byte_type* end_data() const;

  unsigned int begin_offset();
  unsigned int end_offset();

  // The context values of the content. push_data() replaces all four, write() sets all
  // four to 0; only copying and assignment change them otherwise.
  __int64 mainContext();
  __int64 subContext();
  __int64 wparam();
  __int64 lparam();

  // Adds |n| bytes that the caller has written at end_data() itself to the content.
  // |n| is clamped to space(): the buffer never grows here.
  void produce(unsigned int n);
  // Drops |n| bytes from the front of the content. |n| is clamped to size(). When the
  // content becomes empty, both offsets return to 0.
  void consume(unsigned int n);
  // Moves the content to the front of the store (an overlapping move) so that the
  // consumed bytes in front of it become room behind it. Nothing happens when the begin
  // offset is already 0; an empty content just resets both offsets to 0.
  void crunch();
  // Makes room for |n| more bytes behind the content. When |crunch| is true and space()
  // is less than |n|, the content is crunched first; if the room is still too small, the
  // store grows to exactly end offset + |n| bytes, the new bytes zero. If the store cannot
  // grow (out of memory, or a length beyond 32 bits), std::bad_alloc propagates and the
  // buffer is left exactly as it was.
  void enough(unsigned int n, bool crunch);
  // Appends |len| bytes from |data| after enough(|len|, |crunch|) and replaces all four
  // context values. A null |data| counts as |len| 0: nothing is appended, the context
  // values are still replaced.
  void push_data(__int64 mainContext, __int64 subContext, const byte_type* data,
                 unsigned int len, __int64 wparam, __int64 lparam, bool crunch);
  // Appends |len| bytes as push_data() with |crunch| true, sets all four context values
  // to 0 and answers the number of bytes appended: |len|, or 0 for a null |data|.
  unsigned int write(const byte_type* data, unsigned int len);
  // Takes up to |len| bytes from the front of the content into |target| and answers the
  // number taken. |len| is taken as unsigned, so a negative |len| reads the whole content.
  // When the content becomes empty, both offsets return to 0. A null |target| takes
  // nothing and answers 0.
  unsigned int read(byte_type* target, int len);
  // Makes the content exactly |n| bytes long, keeping its begin offset when begin + |n|
  // fits in the store and otherwise moving the content to the front first. Growing the
  // content this way exposes whatever bytes already lie in the store behind it. The store
  // never grows here: |n| is clamped to capacity().
  void resize(unsigned int n);

  // Field order is part of the documented layout.
  uint32_t _beginOffset;
  uint32_t _endOffset;
  // Its length is the capacity; every resize of it goes to an exact length.
  std::vector<byte_type> _store;
  __int64 _mainContext;
  __int64 _subContext;
  __int64 _wparam;
  __int64 _lparam;
};

}  // namespace Kestro
