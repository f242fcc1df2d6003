#include "SilkRangeEncoder.h"

#include "SilkMath.h"

namespace silk {

void RangeEncoder::init() {
  _length = 0;
  _base = 0;
  _range = 0xFFFF;
  _error = false;
}

void RangeEncoder::carry() {
  for (int i = _length - 1; i >= 0; --i) {
    if (++_buffer[i] != 0) return;
  }
}

void RangeEncoder::putByte() {
  if (_length >= kMaxBytes) {
    _error = true;
    return;
  }
  _buffer[_length++] = static_cast<uint8_t>(_base >> 24);
  _base <<= 8;
}

void RangeEncoder::encode(int symbol, const uint16_t* cdf) {
  if (_error) return;
  const uint32_t lo = cdf[symbol];
  const uint32_t hi = cdf[symbol + 1];
  const uint64_t next = static_cast<uint64_t>(_base) + static_cast<uint64_t>(_range) * lo;
  if (next > 0xFFFFFFFFull) carry();
  _base = static_cast<uint32_t>(next);
  const uint32_t scaled = _range * (hi - lo);
  if (scaled & 0xFF000000u) {
    _range = scaled >> 16;
  } else if (scaled & 0xFFFF0000u) {
    _range = scaled >> 8;
    putByte();
  } else {
    _range = scaled;
    putByte();
    putByte();
  }
}

int RangeEncoder::bitsUsed() const { return 8 * _length + clz32(static_cast<int32_t>(_range - 1)) - 14; }

int RangeEncoder::finish() {
  if (_error) return -1;
  const int bits = bitsUsed();
  const int bytes = (bits + 7) >> 3;
  const int more = bits - 8 * _length;
  uint32_t v = _base >> 8;
  v += 0x800000u >> (more - 1);
  v &= 0xFFFFFFFFu << (24 - more);
  if (v & 0x1000000u) carry();
  if (_length + (more > 8 ? 2 : 1) > kMaxBytes) return -1;
  _buffer[_length++] = static_cast<uint8_t>((v >> 16) & 0xFF);
  if (more > 8) _buffer[_length++] = static_cast<uint8_t>((v >> 8) & 0xFF);
  if (bits & 7) _buffer[bytes - 1] |= static_cast<uint8_t>(0xFF >> (bits & 7));
  return bytes;
}

}  // namespace silk
