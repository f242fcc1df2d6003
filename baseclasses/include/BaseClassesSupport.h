// What every DirectShow base class header needs: the export marker, the object-name
// type and the small checking macros that filters written for Windows use.
//
// The base classes are compiled into libKestroCommonModule.so and hosts derive from
// them, so the classes carry default visibility: their members, vtables and type
// information are in the library's export table.
#pragma once

#include "objbase.h"
#include "strmif.h"
#include "vfwmsgs.h"

#define KCM_BASECLASSES_API __attribute__((visibility("default")))

// Names of objects (not of pins or filters) serve diagnostics only. Windows builds
// pass NAME("…"); here they are narrow strings whatever the character set, and
// LPCTSTR is declared for them unless the platform headers have declared it already.
#ifndef KCM_HAS_LPCTSTR
#define KCM_HAS_LPCTSTR
typedef const char* LPCTSTR;
#endif
#ifndef NAME
#define NAME(text) (text)
#endif

// NOERROR is S_OK under its older name.
#ifndef NOERROR
#define NOERROR S_OK
#endif

// Answers `result` from the calling function when `pointer` is null.
#ifndef CheckPointer
#define CheckPointer(pointer, result) \
  do {                                \
    if ((pointer) == NULL) return (result); \
  } while (0)
#endif

// Debug-build pointer probes on Windows; nothing can be probed here.
#define ValidateReadPtr(pointer, size) ((void)0)
#define ValidateWritePtr(pointer, size) ((void)0)
#define ValidateReadWritePtr(pointer, size) ((void)0)
