// The platform's data-transfer stand-ins: global memory, media, memory streams and the
// clipboard format registry.


#include "DragDropTestSupport.h"
#include "errhandlingapi.h"

using namespace dragdrop_test;

namespace {

TEST(GlobalMemoryTest, MovableBlocksAreReachedThroughLocksAndRefusedOnceFreed) {
  LiveObjects live;
  HGLOBAL memory = GlobalAlloc(GHND, 16);
  ASSERT_NE(memory, nullptr);
  auto* bytes = static_cast<BYTE*>(GlobalLock(memory));
  ASSERT_NE(bytes, nullptr);
  EXPECT_NE(static_cast<void*>(bytes), memory);
  EXPECT_EQ(bytes[15], 0) << "GMEM_ZEROINIT";
  EXPECT_EQ(GlobalLock(memory), bytes) << "movable blocks do not move while they live";
  EXPECT_TRUE(GlobalUnlock(memory));
  EXPECT_FALSE(GlobalUnlock(memory));
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
  EXPECT_EQ(GlobalSize(memory), 16u);
  EXPECT_EQ(GlobalFree(memory), nullptr);
  EXPECT_EQ(GlobalFree(memory), memory) << "a second free is refused";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GlobalLock(memory), nullptr);
  EXPECT_EQ(GlobalSize(memory), 0u);
  live.expectUnchanged();
}

TEST(GlobalMemoryTest, FixedBlocksAreTheirOwnAddressAndReAllocKeepsContents) {
  LiveObjects live;
  auto* fixed = static_cast<char*>(GlobalAlloc(GMEM_FIXED, 3));
  ASSERT_NE(fixed, nullptr);
  std::memcpy(fixed, "abc", 3);
  EXPECT_EQ(GlobalLock(fixed), fixed);
  GlobalUnlock(fixed);
  auto* grown = static_cast<char*>(GlobalReAlloc(fixed, 4096, GMEM_ZEROINIT));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(std::string(grown, 3), "abc");
  EXPECT_EQ(grown[4095], 0);
  EXPECT_EQ(GlobalSize(grown), 4096u);
  EXPECT_EQ(GlobalFree(grown), nullptr);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, SIZE_T(-1)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  live.expectUnchanged();
}

TEST(StgMediumTest, ReleaseFreesByTymedAndLeavesAnEmptyMedium) {
  LiveObjects live;
  STGMEDIUM medium = globalMedium("x");
  ReleaseStgMedium(&medium);
  EXPECT_EQ(medium.tymed, DWORD(TYMED_NULL));
  EXPECT_EQ(medium.hGlobal, nullptr);
  ReleaseStgMedium(&medium);  // released twice: nothing left to free
  ReleaseStgMedium(nullptr);

  CountingUnknown owner;
  STGMEDIUM lent = globalMedium("lent");
  HGLOBAL block = lent.hGlobal;
  lent.pUnkForRelease = &owner;
  ReleaseStgMedium(&lent);
  EXPECT_EQ(owner.references, 0u);
  EXPECT_EQ(globalText(block), "lent") << "the release object owns the data";
  GlobalFree(block);

  STGMEDIUM unknown{};
  unknown.tymed = 0x4000;
  unknown.hGlobal = reinterpret_cast<HGLOBAL>(0x10);
  ReleaseStgMedium(&unknown);
  EXPECT_EQ(unknown.tymed, DWORD(TYMED_NULL));
  live.expectUnchanged();
}

TEST(StgMediumTest, DuplicateDataFollowsTheClipboardFormat) {
  LiveObjects live;
  HGLOBAL text = globalWith("text");
  HANDLE copy = OleDuplicateData(text, CF_TEXT, 0);
  EXPECT_NE(copy, text);
  EXPECT_EQ(globalText(copy), "text");
  GlobalFree(copy);
  EXPECT_EQ(OleDuplicateData(text, CF_BITMAP, 0), nullptr) << "a global block is no bitmap";
  EXPECT_EQ(OleDuplicateData(text, CF_PALETTE, 0), nullptr);
  EXPECT_EQ(OleDuplicateData(nullptr, CF_TEXT, 0), nullptr);
  GlobalFree(text);
  EXPECT_EQ(OleDuplicateData(text, CF_TEXT, 0), nullptr) << "freed handle";
  HENHMETAFILE metafile = SetEnhMetaFileBits(2, reinterpret_cast<const BYTE*>("ab"));
  EXPECT_EQ(OleDuplicateData(metafile, CF_TEXT, 0), nullptr) << "a metafile is no global block";
  EXPECT_TRUE(DeleteEnhMetaFile(metafile));
  EXPECT_FALSE(DeleteEnhMetaFile(metafile));
  live.expectUnchanged();
}

TEST(HGlobalStreamTest, WritesGrowTheBlockAndClonesShareIt) {
  LiveObjects live;
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ULONG done = 0;
  EXPECT_EQ(stream->Write("hello world", 11, &done), S_OK);
  EXPECT_EQ(done, 11u);
  ULARGE_INTEGER position{};
  LARGE_INTEGER back{};
  back.QuadPart = -5;
  EXPECT_EQ(stream->Seek(back, STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 6u);
  IStream* clone = nullptr;
  ASSERT_EQ(stream->Clone(&clone), S_OK);
  char read[16] = {};
  EXPECT_EQ(clone->Read(read, sizeof(read), &done), S_OK);
  EXPECT_EQ(std::string(read, done), "world");
  back.QuadPart = -1;
  EXPECT_EQ(stream->Seek(back, STREAM_SEEK_SET, nullptr), E_INVALIDARG);
  EXPECT_EQ(stream->Seek(back, 7, nullptr), E_INVALIDARG);
  STATSTG stat{};
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 11u);
  HGLOBAL memory = nullptr;
  EXPECT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
  EXPECT_EQ(globalText(memory).substr(0, 11), "hello world");
  EXPECT_EQ(GetHGlobalFromStream(nullptr, &memory), E_INVALIDARG);
  stream->Release();
  EXPECT_EQ(globalText(memory).substr(0, 5), "hello") << "the clone keeps the block";
  clone->Release();
  live.expectUnchanged();
}

TEST(HGlobalStreamTest, AnExistingBlockIsReadFromItsStartAndKeptWhenAsked) {
  LiveObjects live;
  HGLOBAL memory = globalWith("payload");
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(memory, FALSE, &stream), S_OK);
  char read[8] = {};
  ULONG done = 0;
  EXPECT_EQ(stream->Read(read, sizeof(read), &done), S_OK);
  EXPECT_EQ(std::string(read, done), "payload");
  EXPECT_EQ(stream->Release(), 0u);
  EXPECT_EQ(globalText(memory), "payload");
  GlobalFree(memory);
  EXPECT_EQ(CreateStreamOnHGlobal(memory, FALSE, &stream), E_INVALIDARG) << "freed block";
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
  live.expectUnchanged();
}

TEST(ClipboardFormatTest, NamesRegisterOnceAboveTheStandardFormats) {
  const UINT format = RegisterClipboardFormatW(L"application/x-kcm-test");
  EXPECT_GE(format, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormatA("APPLICATION/X-KCM-TEST"), format) << "case does not matter";
  EXPECT_NE(RegisterClipboardFormat(L"application/x-kcm-other"), format);
  wchar_t name[64];
  EXPECT_EQ(GetClipboardFormatNameW(format, name, 64), 22);
  EXPECT_EQ(std::wstring(name), L"application/x-kcm-test");
  char shortName[5];
  EXPECT_EQ(GetClipboardFormatNameA(format, shortName, 5), 4);
  EXPECT_STREQ(shortName, "appl");
  EXPECT_EQ(GetClipboardFormatNameW(CF_TEXT, name, 64), 0) << "standard formats have no registered name";
  EXPECT_EQ(RegisterClipboardFormatW(L""), 0u);
  EXPECT_EQ(RegisterClipboardFormatW(nullptr), 0u);
}

}  // namespace
