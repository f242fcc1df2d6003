// The wait functions' shared core, also used by MsgWaitForMultipleObjects.
#pragma once

#include <memory>
#include <vector>

#include "Dispatcher.h"

namespace kcm::kernel {

using WaitableList = std::vector<std::shared_ptr<WaitableObject>>;

// Resolves `count` handles into `objects`. On failure answers false with the last error
// set: ERROR_INVALID_HANDLE for a handle that is not waitable, ERROR_INVALID_PARAMETER
// for a null array or an object named twice in a wait-all.
bool resolveWaitHandles(DWORD count, const HANDLE* handles, bool waitAll, WaitableList* objects);

// Waits for any (the lowest signalled index wins) or all of `objects`. Answers
// WAIT_OBJECT_0 + index, or WAIT_TIMEOUT.
DWORD waitForObjects(const WaitableList& objects, bool waitAll, DWORD milliseconds);

}  // namespace kcm::kernel
