// Loading modules by name.
//
// A Windows module name "Name.dll" (any case of ".dll") stands for the shared object
// "libName.so". A name without a directory is looked for beside the calling module,
// then beside the executable, then beside libKestroPlatform.so (where the installed
// libraries live together), then on the dynamic linker's search path (LD_LIBRARY_PATH,
// the linker cache). A name with a directory is taken as
// a path, with the same mapping applied to its file part. Module handles are the
// dynamic linker's handles; they are not kernel objects and are not closed with CloseHandle.
#pragma once

#include "minwindef.h"

KCM_EXTERN_C_BEGIN
// Fails with ERROR_MOD_NOT_FOUND when nothing loads under any of the names tried.
KCM_PLATFORM_API HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
KCM_PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
// Only handles answered by LoadLibrary are freed, once per load; others fail with
// ERROR_INVALID_HANDLE instead of unloading a module somebody else holds.
KCM_PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);
// Fails with ERROR_PROC_NOT_FOUND for an unknown name.
KCM_PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
// Null stands for the executable. The handle is borrowed: no reference is added.
KCM_PLATFORM_API HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
KCM_PLATFORM_API HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
// The full path of a loaded module (null: the executable). A path that does not fit is
// cut to size - 1 characters and terminated; the answer is then `size` and the last
// error ERROR_INSUFFICIENT_BUFFER. The answer is 0 on failure.
KCM_PLATFORM_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
KCM_PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
KCM_EXTERN_C_END
