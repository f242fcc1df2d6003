// CBaseInputPin: an input pin that receives samples through IMemInputPin.
//
// Receive accepts samples only while the filter is paused or running
// (VFW_E_WRONG_STATE when stopped), answers S_FALSE while flushing and
// VFW_E_RUNTIME_ERROR after a run-time error, reads the sample's properties into
// m_SampleProps, and checks a media type the sample carries: a refused type raises a
// run-time error (EndOfStream, then EC_ERRORABORT to the graph) and answers
// VFW_E_INVALIDMEDIATYPE. Derived classes call it first and then process the sample.
#pragma once

#include "CBasePin.h"

class KCM_BASECLASSES_API CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR pinName);
  ~CBaseInputPin() override;

  DECLARE_IUNKNOWN
  // IMemInputPin, then CBasePin's interfaces.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IMemInputPin. GetAllocator offers the pin's allocator, a CMemAllocator made on
  // first use; NotifyAllocator takes the one the output pin settled on.
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  // No requirements here: E_NOTIMPL.
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  // Receive for each sample until one answers other than S_OK.
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  // S_FALSE only when every connected output pin's downstream pin says it never blocks.
  STDMETHODIMP ReceiveCanBlock() override;

  // Flushing: Receive answers S_FALSE from BeginFlush to EndFlush. Derived classes discard
  // what they hold and pass the calls downstream.
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  // Decommits and releases the allocator.
  HRESULT BreakConnect() override;
  // Clears flushing and the run-time error, and decommits the allocator
  // (VFW_E_NO_ALLOCATOR without one).
  HRESULT Inactive() override;

  BOOL IsReadOnly() { return m_bReadOnly; }
  BOOL IsFlushing() { return m_bFlushing; }
  // S_OK while samples may be processed; see Receive for the other answers.
  virtual HRESULT CheckStreaming();

  // Passes a quality message to the sink set with SetSink, else upstream.
  HRESULT PassNotify(Quality& quality);
  // Input pins receive no quality messages: S_OK, nothing done.
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

  // The properties of the sample being received.
  AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }

 protected:
  IMemAllocator* m_pAllocator;
  BYTE m_bReadOnly;
  BYTE m_bFlushing;
  AM_SAMPLE2_PROPERTIES m_SampleProps;

 private:
  // Fills m_SampleProps from a sample that only offers IMediaSample.
  void ReadPlainSampleProperties(IMediaSample* sample);
  // A type read from a plain IMediaSample, owned until the next Receive.
  AM_MEDIA_TYPE* m_pPlainSampleType;
};
