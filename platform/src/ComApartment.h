// What the rest of the COM runtime asks of the per-thread apartment bookkeeping.
#pragma once

namespace kcm::com {

// True between a thread's first successful CoInitialize(Ex) and its last CoUninitialize.
bool isThreadInitialised();

}  // namespace kcm::com
