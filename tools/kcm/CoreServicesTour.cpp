// Tour steps of the core services: interfaces, thread locks and the I/O buffer.
#include <stdio.h>

#include <thread>

#include "KestroCommonModule.h"
#include "Tour.h"

namespace {

bool InterfacesStep() {
  printf("   IUnknownEx %s, interface version 0x%08lX\n", KcmGuidToString(IID_IUnknownEx).c_str(),
         KCM_INTERFACE_VERSION);
  bool ok = true;
  for (unsigned long version : {0x01010100UL, 0x010101FFUL, 0x01010200UL, 0x02010100UL}) {
    const bool accepted = IsUnknownExVersionAccepted(version);
    printf("   version 0x%08lX %s\n", version, accepted ? "accepted" : "refused");
    ok = ok && accepted == ((version >> 8) <= 0x010101);
  }
  return ok;
}

bool ThreadLockStep() {
  CThreadLock lock;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 100000; ++i) {
      CThreadLockHandle guard(&lock, true);
      ++counter;
    }
  };
  std::thread first(work), second(work);
  first.join();
  second.join();
  printf("   two threads counted to %ld under one CThreadLock\n", counter);
  return counter == 200000;
}

bool IOBufferStep() {
  Kestro::CIOBuffer buffer(100);
  const Kestro::CIOBuffer::byte_type frame[600] = {1, 2, 3};
  buffer.push_data(1, 2, frame, sizeof frame, 3, 4, true);
  Kestro::CIOBuffer::byte_type head[100];
  const unsigned int taken = buffer.read(head, sizeof head);
  printf("   capacity %u, pushed 600 bytes with contexts %lld/%lld/%lld/%lld, read %u, %u left\n", buffer.capacity(),
         buffer.mainContext(), buffer.subContext(), buffer.wparam(), buffer.lparam(), taken, buffer.size());
  buffer.write(frame, 1000);
  printf("   after writing 1000 more: capacity %u, size %u, contexts reset to %lld\n", buffer.capacity(),
         buffer.size(), buffer.mainContext());
  return taken == 100 && buffer.size() == 1500 && buffer.capacity() == 1500 && buffer.mainContext() == 0;
}

}  // namespace

std::vector<TourStep> CoreServicesTour() {
  return {
      {"interfaces", "interface identifiers and the version rule", InterfacesStep},
      {"locks", "CThreadLock and CThreadLockHandle across threads", ThreadLockStep},
      {"buffer", "Kestro::CIOBuffer appending, reading and growing", IOBufferStep},
  };
}
