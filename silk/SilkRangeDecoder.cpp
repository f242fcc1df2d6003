#include "SilkRangeDecoder.h"

#include "SilkMath.h"

namespace silk {

namespace {
enum DecoderError { kPayloadTooLong = -8, kCdfOutOfRange = -2, kNormalizationFailed = -3, kZeroRange = -4, kCheckFailed = -5 };
}

bool RangeDecoder::init(const uint8_t* data, int length) {
  _data = data;
  _length = length;
  _index = 0;
  _error = 0;
  _range = 0xFFFF;
  if (length > kMaxBytes || length < 0) {
    _error = kPayloadTooLong;
    _length = 0;
    _base = 0;
    return false;
  }
  // The first four bytes come from the buffer whatever the packet's length. For a valid
  // packet the encoder's termination makes the bytes past its end irrelevant; an empty or
  // shorter payload starts from what the previous packet left in the buffer, as in the
  // reference decoder. Later bytes past the end read as zero.
  _base = 0;
  for (int i = 0; i < 4; ++i) _base = (_base << 8) | data[i];
  return true;
}

uint8_t RangeDecoder::nextByte() {
  if (_index >= _length) return 0;
  const int at = 4 + _index++;
  return at < _length ? _data[at] : 0;
}

int RangeDecoder::decode(const uint16_t* cdf, int start) {
  if (_error) return 0;
  int symbol = start;
  uint32_t hi = cdf[symbol];
  uint32_t lo;
  if (_range * hi > _base) {
    for (;;) {
      lo = cdf[--symbol];
      if (_range * lo <= _base) break;
      hi = lo;
      if (hi == 0) {
        _error = kCdfOutOfRange;
        return 0;
      }
    }
  } else {
    for (;;) {
      lo = hi;
      hi = cdf[++symbol];
      if (_range * hi > _base) {
        --symbol;
        break;
      }
      if (hi == 65535) {
        _error = kCdfOutOfRange;
        return 0;
      }
    }
  }
  _base -= _range * lo;
  const uint32_t scaled = _range * (hi - lo);
  if (scaled & 0xFF000000u) {
    _range = scaled >> 16;
  } else if (scaled & 0xFFFF0000u) {
    _range = scaled >> 8;
    if (_base >> 24) _error = kNormalizationFailed;
    _base = (_base << 8) | nextByte();
  } else {
    _range = scaled;
    if (_base >> 16) _error = kNormalizationFailed;
    _base = (_base << 8) | nextByte();
    _base = (_base << 8) | nextByte();
  }
  if (_range == 0) _error = kZeroRange;
  return _error ? 0 : symbol;
}

int RangeDecoder::bitsUsed() const { return 8 * _index + clz32(static_cast<int32_t>(_range - 1)) - 14; }

void RangeDecoder::checkAfterDecoding() {
  const int bits = bitsUsed();
  const int bytes = (bits + 7) >> 3;
  if (bytes - 1 >= _length) {
    _error = kCheckFailed;
    return;
  }
  if (bits & 7) {
    const int mask = 0xFF >> (bits & 7);
    if ((_data[bytes - 1] & mask) != mask) _error = kCheckFailed;
  }
}

}  // namespace silk
