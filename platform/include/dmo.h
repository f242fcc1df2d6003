// Everything a DMO or its host needs: the interfaces, the registry, the type helpers
// and the DMO result codes.
#pragma once

#include "dmoreg.h"
#include "dmort.h"
#include "mediaobj.h"

#define DMO_E_INVALIDSTREAMINDEX ((HRESULT)0x80040201L)
#define DMO_E_INVALIDTYPE ((HRESULT)0x80040202L)
#define DMO_E_TYPE_NOT_SET ((HRESULT)0x80040203L)
#define DMO_E_NOTACCEPTING ((HRESULT)0x80040204L)
#define DMO_E_TYPE_NOT_ACCEPTED ((HRESULT)0x80040205L)
#define DMO_E_NO_MORE_ITEMS ((HRESULT)0x80040206L)
