// CTempldateHelper: finds a Create… factory in a module by file name and entry-point
// name, and holds the interface it answered.
//
// The module name is a Windows file name such as L"KestroCommonModule.dll"; the platform
// loader maps it to "libKestroCommonModule.so" and looks beside the calling module, beside
// the executable, then on the dynamic linker's search path.
#pragma once

#include "KestroUnknownEx.h"
#include "libloaderapi.h"
#include "processthreadsapi.h"

template <class I>
class CTempldateHelper {
 public:
  CTempldateHelper(const GUID& iid, unsigned long version, const wchar_t* moduleName, const char* entryName)
      : _entryName(entryName),
        _moduleName(moduleName),
        _module(nullptr),
        _iid(&iid),
        _version(static_cast<uint32_t>(version)),
        _interface(nullptr) {}

  // Releases the held interface; the module stays loaded.
  virtual ~CTempldateHelper() {
    if (_interface != nullptr) _interface->Ex_Release();
  }

  CTempldateHelper(const CTempldateHelper&) = delete;
  CTempldateHelper& operator=(const CTempldateHelper&) = delete;

  // Releases any held interface, loads the module once (it stays loaded, also after a
  // failed creation) and asks its factory for a new interface. Every failure - no
  // module, no entry point, an exception, a null answer - answers false.
  bool CreateInstance() {
    if (_interface != nullptr) {
      _interface->Ex_Release();
      _interface = nullptr;
    }
    if (_module == nullptr && !LoadModule()) return false;
    UnknownExFactory factory = FindFactory();
    if (factory == nullptr) return false;
    try {
      _interface = static_cast<I*>(factory(*_iid, _version));
    }
    KCM_RETHROW_THREAD_CANCEL
    catch (...) {
      _interface = nullptr;
    }
    return _interface != nullptr;
  }

  bool CloseInstance(bool freeModule) {
    if (_interface != nullptr) {
      _interface->Ex_Release();
      _interface = nullptr;
    }
    if (freeModule && _module != nullptr) {
      FreeLibrary(_module);
      _module = nullptr;
    }
    return true;
  }

  bool IsInterfaceValid() { return _interface != nullptr && _interface->Ex_IsValid(); }

  I* GetInterface() { return _interface; }

 private:
  bool LoadModule() {
    try {
      _module = LoadLibraryW(_moduleName);
    }
    KCM_RETHROW_THREAD_CANCEL
    catch (...) {
      _module = nullptr;
    }
    return _module != nullptr;
  }

  UnknownExFactory FindFactory() {
    try {
      return reinterpret_cast<UnknownExFactory>(GetProcAddress(_module, _entryName));
    }
    KCM_RETHROW_THREAD_CANCEL
    catch (...) {
      return nullptr;
    }
  }

  const char* _entryName;       // not owned
  const wchar_t* _moduleName;   // not owned
  HMODULE _module;
  const GUID* _iid;
  uint32_t _version;
  I* _interface;                // owned: given back with Ex_Release
};
