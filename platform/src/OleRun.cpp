// OleRun: in-process objects are running from the moment they exist.
#include "ole2.h"

HRESULT WINAPI OleRun(LPUNKNOWN object) { return object == nullptr ? E_INVALIDARG : S_OK; }
