// Tour steps of the platform layer: kernel objects, the completion port and the loader.
#include <stdio.h>

#include <string>

#include "Tour.h"
#include "process.h"
#include "windows.h"

namespace {

unsigned __stdcall PostThreePackets(void* port) {
  for (ULONG_PTR key = 1; key <= 3; ++key) PostQueuedCompletionStatus(port, static_cast<DWORD>(key * 100), key, nullptr);
  return 7;
}

bool CompletionPortStep() {
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port == nullptr) return false;
  unsigned threadId = 0;
  HANDLE producer = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, PostThreePackets, port, 0, &threadId));
  bool inOrder = producer != nullptr;
  for (ULONG_PTR expected = 1; inOrder && expected <= 3; ++expected) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    inOrder = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 1000) && key == expected;
    printf("   packet key %lu, %u bytes\n", static_cast<unsigned long>(key), bytes);
  }
  DWORD exitCode = 0;
  WaitForSingleObject(producer, INFINITE);
  GetExitCodeThread(producer, &exitCode);
  printf("   producer thread %u ended with exit code %u\n", threadId, exitCode);
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  const DWORD before = timeGetTime();
  const bool timedOut = !GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 50) && GetLastError() == WAIT_TIMEOUT;
  printf("   empty port timed out after %u ms\n", timeGetTime() - before);
  CloseHandle(producer);
  CloseHandle(port);
  return inOrder && exitCode == 7 && timedOut;
}

bool EventStep() {
  HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  SetEvent(events[1]);
  const DWORD any = WaitForMultipleObjects(2, events, FALSE, 0);
  const DWORD all = WaitForMultipleObjects(2, events, TRUE, 0);
  SetEvent(events[0]);
  const DWORD allNow = WaitForMultipleObjects(2, events, TRUE, 0);
  const DWORD autoReset = WaitForSingleObject(events[0], 0);
  printf("   wait-any -> %u, wait-all before/after -> 0x%X/%u, auto-reset event after wait -> 0x%X\n", any, all,
         allNow, autoReset);
  CloseHandle(events[0]);
  CloseHandle(events[1]);
  return any == WAIT_OBJECT_0 + 1 && all == WAIT_TIMEOUT && allNow == WAIT_OBJECT_0 && autoReset == WAIT_TIMEOUT;
}

bool LoaderStep() {
  HMODULE module = LoadLibraryW(L"KestroCommonModule.dll");
  if (module == nullptr) return false;
  char path[MAX_PATH];
  GetModuleFileNameA(module, path, MAX_PATH);
  printf("   \"KestroCommonModule.dll\" is %s\n", path);
  const bool found = GetProcAddress(module, "NoSuchExport") == nullptr && GetLastError() == ERROR_PROC_NOT_FOUND;
  FreeLibrary(module);
  return found;
}

}  // namespace

std::vector<TourStep> PlatformTour() {
  return {
      {"events", "events and waits on several kernel objects", EventStep},
      {"port", "a completion port fed by a second thread", CompletionPortStep},
      {"loader", "the library found by its Windows module name", LoaderStep},
  };
}
