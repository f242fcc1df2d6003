// The platform's diagnostic lines: stderr by default, or the sink a host installed.
#include <stdio.h>

#include <atomic>

#include "KestroPlatformDiagnostic.h"

namespace {

void WriteToStandardError(const char* text) { fprintf(stderr, "KestroPlatform: %s\n", text); }

std::atomic<KcmPlatformDiagnosticSink> g_sink{&WriteToStandardError};

}  // namespace

void KcmPlatformDiagnostic(const char* text) { g_sink.load()(text != nullptr ? text : ""); }

KcmPlatformDiagnosticSink KcmSetPlatformDiagnosticSink(KcmPlatformDiagnosticSink sink) {
  KcmPlatformDiagnosticSink previous = g_sink.exchange(sink != nullptr ? sink : &WriteToStandardError);
  return previous == &WriteToStandardError ? nullptr : previous;
}
