// The DMO wrapper filter (CLSID_DMOWrapperFilter): a DirectShow filter that hosts one
// DMO, with an input pin per DMO input stream and an output pin per output stream.
// Interfaces the filter itself lacks are answered by the hosted DMO (IMediaObject,
// IPropertyStore, ...), which the filter aggregates.
#pragma once

#include "dmo.h"
#include "uuids.h"

DEFINE_GUID(IID_IDMOWrapperFilter, 0x52D6F586, 0x9F0F, 0x4824, 0x8F, 0xC8, 0xE3, 0x2C, 0xA0, 0x49, 0x30, 0xC2);

struct IDMOWrapperFilter : public IUnknown {
  // Creates and hosts the DMO `clsidDMO` registered under `category` (dmoreg.h); once.
  STDMETHOD(Init)(REFCLSID clsidDMO, REFCLSID category) PURE;
};
