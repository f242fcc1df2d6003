// CArrayTemplate: a growable array of plain values (pointers, numbers, plain records).
//
// Growth goes to the needed count plus the grow step, or, with step 0, plus count/8
// bounded to 4..1024; the elements are copied bytewise and the rest of the new storage
// is zero, so TYPE must be trivially copyable. An index outside the elements is a
// programming error and throws std::out_of_range.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <type_traits>

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArrayTemplate {
  static_assert(std::is_trivially_copyable<TYPE>::value, "elements are copied bytewise");

 public:
  CArrayTemplate() : _data(nullptr), _allocated(0), _growBy(0), _count(0) {}
  virtual ~CArrayTemplate() { free(_data); }
  CArrayTemplate(const CArrayTemplate&) = delete;
  CArrayTemplate& operator=(const CArrayTemplate&) = delete;

  int GetSize() const { return _count; }
  bool IsEmpty() const { return _count == 0; }
  void SetGrowBy(int growBy) { _growBy = std::max(0, growBy); }

  TYPE& operator[](int index) { return _data[Checked(index)]; }
  const TYPE& operator[](int index) const { return _data[Checked(index)]; }
  TYPE GetAt(int index) const { return _data[Checked(index)]; }

  // Answers the new element's index.
  int Add(ARG_TYPE element) {
    Reserve(_count + 1);
    _data[_count] = element;
    return _count++;
  }

  // Removes `count` elements from `index`; later elements move down.
  void RemoveAt(int index, int count = 1) {
    if (count < 0 || index < 0 || index + count > _count) throw std::out_of_range("CArrayTemplate::RemoveAt");
    if (count == 0) return;
    memmove(static_cast<void*>(_data + index), _data + index + count, sizeof(TYPE) * (_count - index - count));
    _count -= count;
  }

  // Count 0; the storage is kept.
  void RemoveAll() { _count = 0; }

  void Append(const CArrayTemplate& other) {
    if (other._count == 0) return;
    Reserve(_count + other._count);
    memcpy(static_cast<void*>(_data + _count), other._data, sizeof(TYPE) * other._count);
    _count += other._count;
  }

 private:
  int Checked(int index) const {
    if (index < 0 || index >= _count) throw std::out_of_range("CArrayTemplate index");
    return index;
  }

  void Reserve(int needed) {
    if (needed <= _allocated) return;
    const int step = _growBy != 0 ? _growBy : std::min(1024, std::max(4, _count / 8));
    const int allocated = needed + step;
    TYPE* grown = static_cast<TYPE*>(calloc(static_cast<size_t>(allocated), sizeof(TYPE)));
    if (grown == nullptr) throw std::bad_alloc();
    if (_count > 0) memcpy(static_cast<void*>(grown), _data, sizeof(TYPE) * _count);
    free(_data);
    _data = grown;
    _allocated = allocated;
  }

  TYPE* _data;
  int32_t _allocated;
  int32_t _growBy;
  int32_t _count;
};
