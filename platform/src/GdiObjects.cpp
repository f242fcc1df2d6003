// GDI objects held in memory: bitmaps, metafiles and enhanced metafiles.
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "KestroGdiObjects.h"

namespace {

enum class GdiKind { Bitmap, MetaFile, EnhMetaFile };

struct GdiObject {
  GdiKind kind;
  BITMAP bitmap{};  // bitmaps only; bmBits stays null
  std::vector<BYTE> bytes;
};

class GdiObjectTable {
 public:
  static GdiObjectTable& instance() {
    static GdiObjectTable* table = new GdiObjectTable;  // outlives static destructors
    return *table;
  }

  void* insert(GdiObject object) {
    std::lock_guard<std::mutex> guard(mutex_);
    nextToken_ += kTokenStep;  // never reused: a stale handle finds nothing
    objects_.emplace(nextToken_, std::move(object));
    return reinterpret_cast<void*>(nextToken_);
  }

  // A copy of the object, if `handle` is one of `kind`.
  bool copy(const void* handle, GdiKind kind, GdiObject* out) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == objects_.end() || found->second.kind != kind) return false;
    *out = found->second;
    return true;
  }

  bool erase(const void* handle, GdiKind kind) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == objects_.end() || found->second.kind != kind) return false;
    objects_.erase(found);
    return true;
  }

  size_t count() {
    std::lock_guard<std::mutex> guard(mutex_);
    return objects_.size();
  }

 private:
  static constexpr uintptr_t kTokenStep = 0x10;

  std::mutex mutex_;
  std::unordered_map<uintptr_t, GdiObject> objects_;  // guarded by mutex_
  uintptr_t nextToken_ = 0x7000000;                   // guarded by mutex_
};

template <class Handle>
Handle insertBlob(GdiKind kind, UINT size, const BYTE* data) {
  if (size == 0 || data == nullptr) return nullptr;
  try {
    return static_cast<Handle>(GdiObjectTable::instance().insert(GdiObject{kind, {}, std::vector<BYTE>(data, data + size)}));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

UINT copyBlobOut(const void* handle, GdiKind kind, UINT size, void* data) {
  GdiObject object;
  if (!GdiObjectTable::instance().copy(handle, kind, &object)) return 0;
  if (data == nullptr) return static_cast<UINT>(object.bytes.size());
  const UINT count = size < object.bytes.size() ? size : static_cast<UINT>(object.bytes.size());
  std::memcpy(data, object.bytes.data(), count);
  return count;
}

template <class Handle>
Handle copyBlob(Handle handle, GdiKind kind, LPCWSTR file) {
  GdiObject object;
  if (file != nullptr || !GdiObjectTable::instance().copy(handle, kind, &object)) return nullptr;
  return static_cast<Handle>(GdiObjectTable::instance().insert(std::move(object)));
}

}  // namespace

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits) {
  if (width <= 0 || height <= 0 || planes == 0 || bitCount == 0 || bitCount > 32) return nullptr;
  const uint64_t rowBytes = ((uint64_t(width) * bitCount * planes + 15) / 16) * 2;
  const uint64_t total = rowBytes * uint64_t(height);
  if (rowBytes > 0x7FFFFFFF || total > 0x7FFFFFFF) return nullptr;
  try {
    GdiObject object{GdiKind::Bitmap, {}, std::vector<BYTE>(total)};
    object.bitmap = BITMAP{0, width, height, LONG(rowBytes), WORD(planes), WORD(bitCount), nullptr};
    if (bits != nullptr) std::memcpy(object.bytes.data(), bits, total);
    return static_cast<HBITMAP>(GdiObjectTable::instance().insert(std::move(object)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
  GdiObject found;
  if (!GdiObjectTable::instance().copy(object, GdiKind::Bitmap, &found)) return 0;
  if (buffer == nullptr) return sizeof(BITMAP);
  if (size < int(sizeof(BITMAP))) return 0;
  std::memcpy(buffer, &found.bitmap, sizeof(BITMAP));
  return sizeof(BITMAP);
}

int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer) { return GetObjectW(object, size, buffer); }

LONG WINAPI GetBitmapBits(HBITMAP bitmap, LONG size, LPVOID bits) {
  if (size <= 0 || bits == nullptr) return 0;
  return LONG(copyBlobOut(bitmap, GdiKind::Bitmap, UINT(size), bits));
}

BOOL WINAPI DeleteObject(HGDIOBJ object) { return GdiObjectTable::instance().erase(object, GdiKind::Bitmap); }

HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT size, const BYTE* data) {
  return insertBlob<HENHMETAFILE>(GdiKind::EnhMetaFile, size, data);
}
UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE data) {
  return copyBlobOut(metafile, GdiKind::EnhMetaFile, size, data);
}
HENHMETAFILE WINAPI CopyEnhMetaFileW(HENHMETAFILE metafile, LPCWSTR file) {
  return copyBlob(metafile, GdiKind::EnhMetaFile, file);
}
BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE metafile) {
  return GdiObjectTable::instance().erase(metafile, GdiKind::EnhMetaFile);
}

HMETAFILE WINAPI SetMetaFileBitsEx(UINT size, const BYTE* data) {
  return insertBlob<HMETAFILE>(GdiKind::MetaFile, size, data);
}
UINT WINAPI GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID data) {
  return copyBlobOut(metafile, GdiKind::MetaFile, size, data);
}
HMETAFILE WINAPI CopyMetaFileW(HMETAFILE metafile, LPCWSTR file) { return copyBlob(metafile, GdiKind::MetaFile, file); }
BOOL WINAPI DeleteMetaFile(HMETAFILE metafile) { return GdiObjectTable::instance().erase(metafile, GdiKind::MetaFile); }

size_t KcmGdiObjectCount() { return GdiObjectTable::instance().count(); }
