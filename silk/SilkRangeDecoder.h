// The codec's range decoder: 32-bit base, 16-bit range, 16-bit cumulative frequency
// tables. One decoder runs through every frame of a packet; after an error it answers
// symbol 0 and stays frozen, so a corrupt packet never reads outside its bytes.
#pragma once

#include <stdint.h>

namespace silk {

class RangeDecoder {
 public:
  static constexpr int kMaxBytes = 1024;

  // `data` is a buffer of kMaxBytes holding the packet in its first `length` bytes.
  // False (and the error set) when the packet is longer than kMaxBytes.
  bool init(const uint8_t* data, int length);
  // The symbol s with cdf[s] <= value < cdf[s+1]; the search starts at `start`.
  int decode(const uint16_t* cdf, int start);
  // Bits and whole bytes consumed so far, as the encoder counts them.
  int bitsUsed() const;
  int bytesUsed() const { return (bitsUsed() + 7) >> 3; }
  // Run when a packet ends exactly after a frame: the padding bits must all be ones.
  void checkAfterDecoding();
  int length() const { return _length; }
  bool failed() const { return _error != 0; }
  void fail(int code) { if (_error == 0) _error = code; }

 private:
  uint8_t nextByte();

  const uint8_t* _data = nullptr;
  int _length = 0;
  int _index = 0;  // bytes consumed after the first four
  uint32_t _base = 0;
  uint32_t _range = 0;
  int _error = 0;
};

}  // namespace silk
