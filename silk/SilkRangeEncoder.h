// The codec's range encoder, the exact inverse of RangeDecoder: the same CDFs, carry
// propagation into bytes already written, and a termination that makes every
// continuation of the packet decode to the same symbols.
#pragma once

#include <stdint.h>

namespace silk {

class RangeEncoder {
 public:
  static constexpr int kMaxBytes = 1024;

  void init();
  void encode(int symbol, const uint16_t* cdf);
  int bitsUsed() const;
  int bytesUsed() const { return (bitsUsed() + 7) >> 3; }
  // Writes the final bytes; answers the packet length, or -1 when it did not fit.
  int finish();
  const uint8_t* data() const { return _buffer; }
  bool failed() const { return _error; }

 private:
  void carry();
  void putByte();

  uint8_t _buffer[kMaxBytes];
  int _length = 0;
  uint32_t _base = 0;
  uint32_t _range = 0xFFFF;
  bool _error = false;
};

}  // namespace silk
