// CMediaType: an AM_MEDIA_TYPE that owns its format block (CoTaskMemAlloc memory) and
// its pUnk reference, with the helpers filters use to build and compare types; and the
// free functions that copy, create and free plain AM_MEDIA_TYPE records.
//
// CMediaType adds no data to AM_MEDIA_TYPE, so an array of them is an array of records.
#pragma once

#include "BaseClassesSupport.h"

class KCM_BASECLASSES_API CMediaType : public AM_MEDIA_TYPE {
 public:
  // An empty type: all zero but for fixed-size samples of 1 byte.
  CMediaType();
  explicit CMediaType(const GUID* majorType);
  // Deep copies; when the format block cannot be copied the type is left without one
  // and *result receives E_OUTOFMEMORY.
  CMediaType(const AM_MEDIA_TYPE& type, HRESULT* result = nullptr);
  CMediaType(const CMediaType& type, HRESULT* result = nullptr);
  ~CMediaType();

  CMediaType& operator=(const CMediaType& type);
  CMediaType& operator=(const AM_MEDIA_TYPE& type);
  // Equal major type, subtype, format type and format bytes (the sample-size and
  // compression flags only repeat what those say).
  bool operator==(const CMediaType& type) const;
  bool operator!=(const CMediaType& type) const { return !(*this == type); }

  // Deep copy; E_OUTOFMEMORY when the format block cannot be allocated.
  HRESULT Set(const CMediaType& type);
  HRESULT Set(const AM_MEDIA_TYPE& type);

  // A type is valid once it has a major type.
  BOOL IsValid() const;

  const GUID* Type() const { return &majortype; }
  void SetType(const GUID* type) { majortype = *type; }
  const GUID* Subtype() const { return &subtype; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  const GUID* FormatType() const { return &formattype; }
  void SetFormatType(const GUID* type) { formattype = *type; }

  BOOL IsFixedSize() const { return bFixedSizeSamples; }
  BOOL IsTemporalCompressed() const { return bTemporalCompression; }
  // The fixed sample size, or 0 for variable-size samples.
  ULONG GetSampleSize() const;
  // 0 selects variable-size samples.
  void SetSampleSize(ULONG size);
  void SetVariableSize() { bFixedSizeSamples = FALSE; }
  void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  // Replaces the format block by a copy of `length` bytes; FALSE when out of memory.
  BOOL SetFormat(const BYTE* format, ULONG length);
  void ResetFormatBuffer();
  // A format block of `length` bytes, contents undefined (the old block is kept when
  // it has that size already). Null when out of memory and the old block is smaller.
  BYTE* AllocFormatBuffer(ULONG length);
  // The same, keeping the leading bytes of the old block.
  BYTE* ReallocFormatBuffer(ULONG length);

  // Frees nothing: makes the record an empty type (see the default constructor).
  void InitMediaType();
  // Whether this type satisfies `partial`: every GUID that is set in `partial` is equal
  // here, and a set format type brings an equal format block with it.
  BOOL MatchesPartial(const CMediaType* partial) const;
  BOOL MatchesPartial(const AM_MEDIA_TYPE* partial) const;
  // A type without major type or format type only narrows a choice.
  BOOL IsPartiallySpecified() const;

 private:
  BYTE* ResizeFormatBuffer(ULONG length, bool keepContents);
};

extern "C" {
// Frees the format block and releases pUnk; the record itself stays.
KCM_BASECLASSES_API void WINAPI FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then CoTaskMemFree of the record. Null is allowed.
KCM_BASECLASSES_API void WINAPI DeleteMediaType(AM_MEDIA_TYPE* type);
// A CoTaskMemAlloc'ed deep copy, or null when out of memory or `source` is null.
KCM_BASECLASSES_API AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* source);
// Deep copy into a record that holds nothing (its old contents are not freed).
// E_OUTOFMEMORY leaves `target` without a format block; a source that claims a format
// block it does not have gives E_POINTER the same way.
KCM_BASECLASSES_API HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
}
