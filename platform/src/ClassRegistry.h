// The process's in-process COM classes: CLSID → class factory.
#pragma once

#include "unknwn.h"

namespace kcm::com {

// The factory registered for `clsid` with one reference for the caller, or null.
IClassFactory* findClassFactory(REFCLSID clsid);

}  // namespace kcm::com
