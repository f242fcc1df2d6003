// The platform layer's diagnostic channel: lines about refused or unsupported calls
// (for example an IGraphBuilder operation that is not implemented). By default each line
// goes to stderr as "KestroPlatform: <text>"; a sink set here receives the bare text
// instead, so a host or the library can route it into its own log.
#pragma once

#include "KestroPlatformExport.h"

typedef void (*KcmPlatformDiagnosticSink)(const char* text);

KCM_EXTERN_C_BEGIN
// Thread-safe; the sink is called on the reporting thread.
KCM_PLATFORM_API void KcmPlatformDiagnostic(const char* text);
// Null restores the stderr default. Answers the sink replaced (null for the default).
KCM_PLATFORM_API KcmPlatformDiagnosticSink KcmSetPlatformDiagnosticSink(KcmPlatformDiagnosticSink sink);
KCM_EXTERN_C_END
