// CIDataObject: storing, matching and copying media.
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "DragDropTestSupport.h"

using namespace dragdrop_test;

namespace {

class DataObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { object_->AddRef(); }
  void TearDown() override {
    EXPECT_EQ(object_->Release(), 0u);
    live_.expectUnchanged();
  }

  // Stores a copy of a global block holding `text` under `format`.
  void storeText(FORMATETC format, const std::string& text) {
    STGMEDIUM medium = globalMedium(text);
    ASSERT_EQ(object_->SetData(&format, &medium, FALSE), S_OK);
    ReleaseStgMedium(&medium);
  }

  // Ends the object's life now (it frees what it stores) and starts a fresh one.
  void replaceObject() {
    EXPECT_EQ(object_->Release(), 0u);
    object_ = new CIDataObject(nullptr);
    object_->AddRef();
  }

  LiveObjects live_;
  CIDataObject* object_ = new CIDataObject(nullptr);
};

TEST_F(DataObjectTest, ReferenceCountStartsAtZeroAndQueryInterfaceAddsOne) {
  IDataObject* asData = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&asData)), S_OK);
  EXPECT_EQ(asData->Release(), 1u);
  void* other = &other;
  EXPECT_EQ(object_->QueryInterface(IID_IDropTarget, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(object_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(DataObjectTest, GetDataAnswersFromTheFirstOfTwoEqualFormats) {
  storeText(makeFormat(CF_TEXT), "first");
  storeText(makeFormat(CF_TEXT), "second");
  FORMATETC request = makeFormat(CF_TEXT);
  STGMEDIUM medium{};
  ASSERT_EQ(object_->GetData(&request, &medium), S_OK);
  EXPECT_EQ(globalText(medium.hGlobal), "first");
  ReleaseStgMedium(&medium);
}

TEST_F(DataObjectTest, GetDataMatchesFormatAspectAndACommonTymedBit) {
  storeText(makeFormat(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM), "text");
  STGMEDIUM medium{};
  FORMATETC otherFormat = makeFormat(CF_UNICODETEXT);
  FORMATETC otherAspect = makeFormat(CF_TEXT, TYMED_HGLOBAL, DVASPECT_ICON);
  FORMATETC otherTymed = makeFormat(CF_TEXT, TYMED_FILE);
  FORMATETC sharedBit = makeFormat(CF_TEXT, TYMED_ISTREAM | TYMED_GDI);
  EXPECT_EQ(object_->GetData(&otherFormat, &medium), DV_E_FORMATETC);
  EXPECT_EQ(object_->GetData(&otherAspect, &medium), DV_E_FORMATETC);
  EXPECT_EQ(object_->GetData(&otherTymed, &medium), DV_E_FORMATETC);
  ASSERT_EQ(object_->GetData(&sharedBit, &medium), S_OK);
  EXPECT_EQ(medium.tymed, DWORD(TYMED_HGLOBAL));  // the stored medium's own tymed
  ReleaseStgMedium(&medium);
  EXPECT_EQ(object_->GetData(nullptr, &medium), E_INVALIDARG);
  EXPECT_EQ(object_->GetData(&sharedBit, nullptr), E_INVALIDARG);
}

TEST_F(DataObjectTest, QueryGetDataResultCodes) {
  FORMATETC text = makeFormat(CF_TEXT);
  EXPECT_EQ(object_->QueryGetData(nullptr), E_INVALIDARG);
  EXPECT_EQ(object_->QueryGetData(&text), DV_E_TYMED) << "nothing stored";
  FORMATETC icon = makeFormat(CF_TEXT, TYMED_HGLOBAL, DVASPECT_ICON);
  EXPECT_EQ(object_->QueryGetData(&icon), DV_E_DVASPECT);

  storeText(makeFormat(CF_UNICODETEXT), "a");
  EXPECT_EQ(object_->QueryGetData(&text), DV_E_FORMATETC) << "last entry shared a tymed bit";
  storeText(makeFormat(CF_TEXT, TYMED_HGLOBAL), "b");
  FORMATETC textAsFile = makeFormat(CF_TEXT, TYMED_FILE);
  EXPECT_EQ(object_->QueryGetData(&textAsFile), DV_E_TYMED) << "last entry shared no tymed bit";
  EXPECT_EQ(object_->QueryGetData(&text), S_OK);
  FORMATETC contentAndIcon = makeFormat(CF_TEXT, TYMED_HGLOBAL, DVASPECT_CONTENT | DVASPECT_ICON);
  EXPECT_EQ(object_->QueryGetData(&contentAndIcon), S_OK) << "the aspect only has to include content";
}

TEST_F(DataObjectTest, EnumFormatEtcHandsOutOneReferenceForGetOnly) {
  storeText(makeFormat(CF_TEXT), "a");
  IEnumFORMATETC* formats = nullptr;
  EXPECT_EQ(object_->EnumFormatEtc(DATADIR_GET, nullptr), E_POINTER);
  EXPECT_EQ(object_->EnumFormatEtc(DATADIR_SET, &formats), E_NOTIMPL);
  ASSERT_EQ(object_->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
  FORMATETC first{};
  EXPECT_EQ(formats->Next(1, &first, nullptr), S_OK);
  EXPECT_EQ(first.cfFormat, CF_TEXT);
  EXPECT_EQ(formats->Release(), 0u);
}

TEST_F(DataObjectTest, SetDataRefusesNullArguments) {
  FORMATETC format = makeFormat(CF_TEXT);
  STGMEDIUM medium{};
  EXPECT_EQ(object_->SetData(nullptr, &medium, TRUE), E_INVALIDARG);
  EXPECT_EQ(object_->SetData(&format, nullptr, TRUE), E_INVALIDARG);
  EXPECT_EQ(object_->QueryGetData(&format), DV_E_TYMED) << "nothing was stored";
}

// A careless host frees a medium it handed over: the object's own release later finds
// the block gone and leaves it at that.
TEST_F(DataObjectTest, MediumReleasedByTheHostAfterHandingItOverIsNotFreedTwice) {
  FORMATETC format = makeFormat(CF_TEXT);
  STGMEDIUM medium = globalMedium("owned by the object");
  ASSERT_EQ(object_->SetData(&format, &medium, TRUE), S_OK);
  ReleaseStgMedium(&medium);
  STGMEDIUM copy{};
  EXPECT_EQ(object_->GetData(&format, &copy), S_OK);
  EXPECT_EQ(copy.hGlobal, nullptr) << "nothing left to duplicate";
  ReleaseStgMedium(&copy);
}

// Every tymed: what SetData without release stores and GetData hands out are copies that
// the receiver and the object free independently.
class MediumCopyTest : public DataObjectTest {
 protected:
  // Stores `medium` as a copy, frees the original, and answers the object's copy.
  STGMEDIUM roundTrip(CLIPFORMAT clipFormat, STGMEDIUM medium) {
    FORMATETC format = makeFormat(clipFormat, medium.tymed);
    EXPECT_EQ(object_->SetData(&format, &medium, FALSE), S_OK);
    ReleaseStgMedium(&medium);
    STGMEDIUM copy{};
    EXPECT_EQ(object_->GetData(&format, &copy), S_OK);
    EXPECT_EQ(copy.tymed, format.tymed);
    return copy;
  }
};

TEST_F(MediumCopyTest, GlobalBlock) {
  STGMEDIUM copy = roundTrip(CF_TEXT, globalMedium("bytes"));
  EXPECT_EQ(globalText(copy.hGlobal), "bytes");
  ReleaseStgMedium(&copy);
}

TEST_F(MediumCopyTest, Bitmap) {
  const BYTE bits[] = {1, 2, 3, 4, 5, 6, 7, 8};
  STGMEDIUM medium{};
  medium.tymed = TYMED_GDI;
  medium.hBitmap = CreateBitmap(2, 2, 1, 16, bits);
  STGMEDIUM copy = roundTrip(CF_BITMAP, medium);
  BITMAP info{};
  ASSERT_EQ(GetObject(copy.hBitmap, sizeof(info), &info), int(sizeof(info)));
  EXPECT_EQ(info.bmWidth, 2);
  EXPECT_EQ(info.bmBitsPixel, 16);
  BYTE copied[8] = {};
  EXPECT_EQ(GetBitmapBits(copy.hBitmap, sizeof(copied), copied), 8);
  EXPECT_EQ(std::memcmp(copied, bits, sizeof(bits)), 0);
  ReleaseStgMedium(&copy);
}

TEST_F(MediumCopyTest, MetafilePicture) {
  const BYTE records[] = {9, 8, 7};
  STGMEDIUM medium{};
  medium.tymed = TYMED_MFPICT;
  medium.hMetaFilePict = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
  *static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict)) = METAFILEPICT{8, 100, 50, SetMetaFileBitsEx(3, records)};
  GlobalUnlock(medium.hMetaFilePict);
  STGMEDIUM copy = roundTrip(CF_METAFILEPICT, medium);
  const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(copy.hMetaFilePict));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->xExt, 100);
  EXPECT_EQ(GetMetaFileBitsEx(picture->hMF, 0, nullptr), 3u);
  GlobalUnlock(copy.hMetaFilePict);
  ReleaseStgMedium(&copy);
}

TEST_F(MediumCopyTest, EnhancedMetafile) {
  const BYTE records[] = {1, 2, 3, 4};
  STGMEDIUM medium{};
  medium.tymed = TYMED_ENHMF;
  medium.hEnhMetaFile = SetEnhMetaFileBits(4, records);
  STGMEDIUM copy = roundTrip(CF_ENHMETAFILE, medium);
  BYTE copied[4] = {};
  EXPECT_EQ(GetEnhMetaFileBits(copy.hEnhMetaFile, 4, copied), 4u);
  EXPECT_EQ(copied[3], 4);
  ReleaseStgMedium(&copy);
}

TEST_F(MediumCopyTest, FileNameIsCopiedAndTheFileBelongsToTheLastOwner) {
  const std::string path = ::testing::TempDir() + "kcm_dragdrop_file_medium.txt";
  std::ofstream(path) << "file";
  const std::wstring widePath(path.begin(), path.end());
  STGMEDIUM medium{};
  medium.tymed = TYMED_FILE;
  medium.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((widePath.size() + 1) * sizeof(OLECHAR)));
  std::wcscpy(medium.lpszFileName, widePath.c_str());
  FORMATETC format = makeFormat(CF_HDROP, TYMED_FILE);
  ASSERT_EQ(object_->SetData(&format, &medium, TRUE), S_OK);  // the object owns the file now
  STGMEDIUM copy{};
  ASSERT_EQ(object_->GetData(&format, &copy), S_OK);
  EXPECT_NE(copy.lpszFileName, medium.lpszFileName);
  EXPECT_EQ(std::wstring(copy.lpszFileName), widePath);
  CountingUnknown keeper;  // the receiver hands the file back to a keeper instead of deleting it
  copy.pUnkForRelease = &keeper;
  ReleaseStgMedium(&copy);
  EXPECT_EQ(keeper.references, 0u);
  EXPECT_EQ(access(path.c_str(), F_OK), 0) << "a medium with a release object leaves the file alone";
  replaceObject();  // the owner deletes its temporary file, as on Windows
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST_F(MediumCopyTest, StreamAndStorageAreSharedWithOneMoreReference) {
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  STGMEDIUM medium{};
  medium.tymed = TYMED_ISTREAM;
  medium.pstm = stream;
  stream->AddRef();
  STGMEDIUM copy = roundTrip(CF_TEXT, medium);
  EXPECT_EQ(copy.pstm, stream);
  ReleaseStgMedium(&copy);
  EXPECT_EQ(stream->Release(), 1u) << "only the object's copy is left";

  CountingUnknown storage;
  STGMEDIUM stored{};
  stored.tymed = TYMED_ISTORAGE;
  stored.pstg = &storage;
  storage.AddRef();
  STGMEDIUM storageCopy = roundTrip(CF_TEXT, stored);
  EXPECT_EQ(storageCopy.pstg, &storage);
  EXPECT_EQ(storage.references, 3u);
  ReleaseStgMedium(&storageCopy);
  replaceObject();
  EXPECT_EQ(storage.references, 1u);
}

TEST_F(MediumCopyTest, UnknownTymedCopiesNoDataButTheTymedAndReleaseObject) {
  CountingUnknown releaser;
  STGMEDIUM medium{};
  medium.tymed = 0x100;
  medium.hGlobal = reinterpret_cast<HGLOBAL>(0x1234);
  medium.pUnkForRelease = &releaser;
  FORMATETC format = makeFormat(CF_TEXT, 0x100);
  ASSERT_EQ(object_->SetData(&format, &medium, FALSE), S_OK);
  STGMEDIUM copy{};
  ASSERT_EQ(object_->GetData(&format, &copy), S_OK);
  EXPECT_EQ(copy.tymed, 0x100u);
  EXPECT_EQ(copy.hGlobal, nullptr);
  EXPECT_EQ(copy.pUnkForRelease, &releaser);
  EXPECT_EQ(releaser.references, 3u);
  ReleaseStgMedium(&copy);
  EXPECT_EQ(releaser.references, 2u);
  replaceObject();
  EXPECT_EQ(releaser.references, 1u);
}

}  // namespace
