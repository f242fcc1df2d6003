// Per-thread COM apartment bookkeeping: the model a thread chose and how many
// initialisations it has not yet undone.
#include "ComApartment.h"

#include "combaseapi.h"

namespace {

constexpr DWORD kModelMask = COINIT_APARTMENTTHREADED;

struct Apartment {
  int initialisations = 0;
  DWORD model = COINIT_MULTITHREADED;
};

thread_local Apartment t_apartment;

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved != nullptr) return E_INVALIDARG;
  const DWORD model = coInit & kModelMask;
  if (t_apartment.initialisations > 0) {
    if (t_apartment.model != model) return RPC_E_CHANGED_MODE;
    ++t_apartment.initialisations;
    return S_FALSE;
  }
  t_apartment.model = model;
  t_apartment.initialisations = 1;
  return S_OK;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize(void) {
  if (t_apartment.initialisations > 0) --t_apartment.initialisations;
}

bool kcm::com::isThreadInitialised() { return t_apartment.initialisations > 0; }
