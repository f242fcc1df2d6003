// A tiny host built against the installed package: it must compile with the installed
// headers alone, link, find the library's own module by its Windows name, and run.
#include <stdio.h>

#include <KestroCommonModule.h>

int main() {
  Kestro::CIOBuffer buffer;
  const Kestro::CIOBuffer::byte_type bytes[] = {'h', 'o', 's', 't'};
  buffer.write(bytes, sizeof bytes);

  CThreadLock lock;
  CThreadLockHandle guard(&lock, true);

  HMODULE self = LoadLibraryW(L"KestroCommonModule.dll");
  const bool ok = buffer.size() == 4 && guard.GetLockCount() == 1 && self != nullptr &&
                  IsUnknownExVersionAccepted(KCM_INTERFACE_VERSION);
  if (self != nullptr) FreeLibrary(self);
  kcm_logExpression("host\\main", __LINE__, "\"installed host\"", KcmLogDebug, true);
  printf("%s\n", ok ? "installed host ok" : "installed host FAILED");
  return ok ? 0 : 1;
}
