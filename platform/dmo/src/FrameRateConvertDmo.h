// The video frame-rate converter DMO (CLSID_CFrameRateConvertDmo): one input and one
// output stream of the same uncompressed FORMAT_VideoInfo type; the output carries the
// input's pictures on a regular grid of output frame times. Each output slot at time T
// shows the latest input frame that started at or before T: frames are repeated when
// the output rate is higher, dropped when it is lower. A slot is emitted once the next
// input frame (or the end of the stream, Discontinuity) shows that no newer frame
// belongs to it. The grid starts at the first frame's time stamp and again after each
// Discontinuity or Flush.
//
// Rates (IPropertyStore, wmcodecdsp.h): VT_UI8 ratios numerator<<32 | denominator in
// frames per second; they follow the types' AvgTimePerFrame when a new type is set and
// may be written afterwards. Aggregatable; all methods are serialised by one lock.
#pragma once

#include <vector>

#include "dmo.h"
#include "propsys.h"
#include "streams.h"

namespace kcm::dmo {

class FrameRateConvertDmo : public CUnknown, public IMediaObject, public IPropertyStore {
 public:
  static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IMediaObject
  STDMETHODIMP GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) override;
  STDMETHODIMP GetInputStreamInfo(DWORD stream, DWORD* flags) override;
  STDMETHODIMP GetOutputStreamInfo(DWORD stream, DWORD* flags) override;
  STDMETHODIMP GetInputType(DWORD stream, DWORD typeIndex, DMO_MEDIA_TYPE* type) override;
  STDMETHODIMP GetOutputType(DWORD stream, DWORD typeIndex, DMO_MEDIA_TYPE* type) override;
  STDMETHODIMP SetInputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) override;
  STDMETHODIMP SetOutputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) override;
  STDMETHODIMP GetInputCurrentType(DWORD stream, DMO_MEDIA_TYPE* type) override;
  STDMETHODIMP GetOutputCurrentType(DWORD stream, DMO_MEDIA_TYPE* type) override;
  STDMETHODIMP GetInputSizeInfo(DWORD stream, DWORD* size, DWORD* maxLookahead, DWORD* alignment) override;
  STDMETHODIMP GetOutputSizeInfo(DWORD stream, DWORD* size, DWORD* alignment) override;
  STDMETHODIMP GetInputMaxLatency(DWORD stream, REFERENCE_TIME* maxLatency) override;
  STDMETHODIMP SetInputMaxLatency(DWORD stream, REFERENCE_TIME maxLatency) override;
  STDMETHODIMP Flush() override;
  STDMETHODIMP Discontinuity(DWORD stream) override;
  STDMETHODIMP AllocateStreamingResources() override;
  STDMETHODIMP FreeStreamingResources() override;
  STDMETHODIMP GetInputStatus(DWORD stream, DWORD* flags) override;
  STDMETHODIMP ProcessInput(DWORD stream, IMediaBuffer* buffer, DWORD flags, REFERENCE_TIME timestamp,
                            REFERENCE_TIME timelength) override;
  STDMETHODIMP ProcessOutput(DWORD flags, DWORD bufferCount, DMO_OUTPUT_DATA_BUFFER* buffers, DWORD* status) override;
  STDMETHODIMP Lock(LONG lock) override;

  // IPropertyStore
  STDMETHODIMP GetCount(DWORD* count) override;
  STDMETHODIMP GetAt(DWORD index, PROPERTYKEY* key) override;
  STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
  STDMETHODIMP SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
  STDMETHODIMP Commit() override;

 private:
  struct Frame {
    std::vector<BYTE> bytes;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME length = 0;
    bool valid = false;
  };

  explicit FrameRateConvertDmo(IUnknown* outer);

  HRESULT setType(CMediaType& current, ULONGLONG& rate, const CMediaType& other, const DMO_MEDIA_TYPE* type,
                  DWORD flags);
  static HRESULT offerType(const CMediaType& first, const CMediaType& second, DWORD typeIndex, DMO_MEDIA_TYPE* type);
  // 100 ns per frame of a rate, or of the type when the rate is unset or invalid.
  static REFERENCE_TIME frameDuration(ULONGLONG rate, const CMediaType& type);
  REFERENCE_TIME slotTime(LONGLONG slot) const;
  bool canEmit() const;
  void settle();
  HRESULT emit(DMO_OUTPUT_DATA_BUFFER& output);
  void resetStream();

  CCritSec m_lock;
  CMediaType m_inputType;
  CMediaType m_outputType;
  ULONGLONG m_inputRate = 0;   // numerator<<32 | denominator, 0 while unset
  ULONGLONG m_outputRate = 0;
  Frame m_held;     // the frame the next slots show
  Frame m_pending;  // the newer frame that ends the held one's slots
  bool m_draining = false;
  bool m_haveGrid = false;
  REFERENCE_TIME m_gridStart = 0;
  LONGLONG m_slot = 0;  // the next slot to emit
};

}  // namespace kcm::dmo
