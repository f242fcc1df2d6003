#include "KestroIOBuffer.h"

#include <string.h>

#include <algorithm>
#include <new>

namespace Kestro {

namespace {

const unsigned int kMinimumCapacity = 1024;

}  // namespace

CIOBuffer::CIOBuffer(unsigned int initialCapacity)
    : _beginOffset(0),
      _endOffset(0),
      _store(std::max(initialCapacity, kMinimumCapacity)),
      _mainContext(0),
      _subContext(0),
      _wparam(0),
      _lparam(0) {}

// std::vector's copy allocates exactly the source length, so the capacity carries over.
CIOBuffer::CIOBuffer(CIOBuffer& other)
    : _beginOffset(other._beginOffset),
      _endOffset(other._endOffset),
      _store(other._store),
      _mainContext(other._mainContext),
      _subContext(other._subContext),
      _wparam(other._wparam),
      _lparam(other._lparam) {}

CIOBuffer& CIOBuffer::operator=(CIOBuffer& other) {
  if (this == &other) return *this;
  // Copy first and swap after, so a failed allocation leaves this buffer untouched and
  // the store ends up exactly as long as the source's.
  std::vector<byte_type> store(other._store);
  _store.swap(store);
  _beginOffset = other._beginOffset;
  _endOffset = other._endOffset;
  _mainContext = other._mainContext;
  _subContext = other._subContext;
  _wparam = other._wparam;
  _lparam = other._lparam;
  return *this;
}

void CIOBuffer::copyTo(CIOBuffer* target) {
  if (target == nullptr) return;
  *target = *this;
}

CIOBuffer::~CIOBuffer() = default;

void CIOBuffer::clear() {
  _beginOffset = 0;
  _endOffset = 0;
}

unsigned int CIOBuffer::size() const { return _endOffset - _beginOffset; }

bool CIOBuffer::empty() const { return _beginOffset == _endOffset; }

unsigned int CIOBuffer::capacity() const { return static_cast<unsigned int>(_store.size()); }

unsigned int CIOBuffer::space() const { return capacity() - _endOffset; }

CIOBuffer::byte_type* CIOBuffer::data() { return _store.data() + _beginOffset; }

const CIOBuffer::byte_type* CIOBuffer::data() const { return _store.data() + _beginOffset; }

CIOBuffer::byte_type* CIOBuffer::end_data() { return _store.data() + _endOffset; }

const CIOBuffer::byte_type* CIOBuffer::end_data() const { return _store.data() + _endOffset; }

unsigned int CIOBuffer::begin_offset() { return _beginOffset; }

unsigned int CIOBuffer::end_offset() { return _endOffset; }

__int64 CIOBuffer::mainContext() { return _mainContext; }

__int64 CIOBuffer::subContext() { return _subContext; }

__int64 CIOBuffer::wparam() { return _wparam; }

__int64 CIOBuffer::lparam() { return _lparam; }

void CIOBuffer::produce(unsigned int n) { _endOffset += std::min(n, space()); }

void CIOBuffer::consume(unsigned int n) {
  _beginOffset += std::min(n, size());
  if (_beginOffset == _endOffset) clear();
}

void CIOBuffer::crunch() {
  if (_beginOffset == 0) return;
  const unsigned int count = size();
  if (count != 0) memmove(_store.data(), _store.data() + _beginOffset, count);
  _beginOffset = 0;
  _endOffset = count;
}

void CIOBuffer::enough(unsigned int n, bool crunchFirst) {
  const bool moveFirst = crunchFirst && space() < n;
  const uint64_t required = uint64_t(moveFirst ? size() : _endOffset) + n;
  if (required > _store.size()) {
    // Offsets are 32-bit, so a longer store could not be addressed: treat it like any
    // other store that cannot grow.
    if (required > UINT32_MAX) throw std::bad_alloc();
    // Allocate before moving anything, so that a failure leaves the buffer as it was.
    // Value-initialised, hence the zero bytes behind the old store.
    std::vector<byte_type> grown(static_cast<size_t>(required));
    memcpy(grown.data(), _store.data(), _store.size());
    _store.swap(grown);
  }
  // The move only touches the front of the store, so doing it after growing leaves the
  // same bytes as moving first would.
  if (moveFirst) crunch();
}

void CIOBuffer::push_data(__int64 mainContextValue, __int64 subContextValue,
                          const byte_type* source, unsigned int len, __int64 wparamValue,
                          __int64 lparamValue, bool crunchFirst) {
  if (source == nullptr) len = 0;
  enough(len, crunchFirst);
  _mainContext = mainContextValue;
  _subContext = subContextValue;
  _wparam = wparamValue;
  _lparam = lparamValue;
  if (len != 0) memcpy(end_data(), source, len);
  _endOffset += len;
}

unsigned int CIOBuffer::write(const byte_type* source, unsigned int len) {
  push_data(0, 0, source, len, 0, 0, true);
  return source == nullptr ? 0 : len;
}

unsigned int CIOBuffer::read(byte_type* target, int len) {
  if (target == nullptr) return 0;
  const unsigned int count = std::min(size(), static_cast<unsigned int>(len));
  if (count != 0) memcpy(target, data(), count);
  _beginOffset += count;
  if (_beginOffset == _endOffset) clear();
  return count;
}

void CIOBuffer::resize(unsigned int n) {
  n = std::min(n, capacity());
  if (uint64_t(_beginOffset) + n <= _store.size()) {
    _endOffset = _beginOffset + n;
    return;
  }
  crunch();
  _beginOffset = 0;
  _endOffset = n;
}

}  // namespace Kestro
