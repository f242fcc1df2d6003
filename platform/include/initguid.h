// Nothing to do: DEFINE_GUID already defines each identifier once (see guiddef.h).
#pragma once
#include "guiddef.h"
