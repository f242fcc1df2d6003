// CBaseOutputPin: an output pin that delivers samples to an IMemInputPin.
//
// Connecting it settles the allocator (DecideAllocator): the downstream pin's own first,
// else one of ours from InitAllocator (a CMemAllocator), sized by the derived class's
// DecideBufferSize and announced with NotifyAllocator. Active commits the allocator,
// Inactive decommits it; GetDeliveryBuffer takes a sample from it and Deliver passes a
// sample to the connected input pin.
#pragma once

#include "CBasePin.h"

class KCM_BASECLASSES_API CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR pinName);

  // Settles the allocator.
  HRESULT CompleteConnect(IPin* receivePin) override;
  // The downstream pin must also be an IMemInputPin.
  HRESULT CheckConnect(IPin* pin) override;
  // Decommits and releases the allocator, and releases the IMemInputPin.
  HRESULT BreakConnect() override;

  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
  // Sets the allocator's properties from `request` (the downstream requirements, its
  // alignment at least 1).
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  // A new CMemAllocator as IMemAllocator, with one reference.
  virtual HRESULT InitAllocator(IMemAllocator** allocator);

  // E_NOINTERFACE before an allocator is settled.
  virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags);
  // The connected pin's Receive; VFW_E_NOT_CONNECTED without one.
  virtual HRESULT Deliver(IMediaSample* sample);

  // Commit and Decommit of the allocator; VFW_E_NO_ALLOCATOR without one.
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Output pins take no stream control from upstream: E_UNEXPECTED.
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  // Passed to the connected pin; VFW_E_NOT_CONNECTED without one.
  virtual HRESULT DeliverEndOfStream();
  virtual HRESULT DeliverBeginFlush();
  virtual HRESULT DeliverEndFlush();
  virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

 protected:
  IMemAllocator* m_pAllocator;
  IMemInputPin* m_pInputPin;

 private:
  // DecideBufferSize and NotifyAllocator on `allocator`; releases it on failure.
  HRESULT OfferAllocator(IMemInputPin* pin, IMemAllocator** allocator, ALLOCATOR_PROPERTIES* request);
};
