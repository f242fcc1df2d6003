// Win32 base types with the widths Windows gives them.
//
// Windows is LLP64: LONG and ULONG stay 32-bit even where pointers are 64-bit, while
// `long` on LP64 Linux is 64-bit. Every Windows integer type below is therefore a
// fixed-width type, and the static_asserts at the end pin the widths.
//
// WCHAR is wchar_t, which is 32-bit (UTF-32) on Linux: L"…" literals then pass to the
// W functions as hosts wrote them. Records whose Windows layout holds 16-bit WCHAR
// arrays differ in size here; none of our functions reads such a record as raw bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "KestroPlatformExport.h"

// MSVC's 64-bit integer keyword; a macro, so that `unsigned __int64` works as well.
#ifndef __int64
#define __int64 long long
#endif

typedef uint8_t BYTE;
typedef uint8_t UCHAR;
typedef char CHAR;
typedef uint8_t BOOLEAN;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef uint64_t DWORDLONG;
typedef float FLOAT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef LONG_PTR SSIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef wchar_t WCHAR;

typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef BOOL* PBOOL;
typedef BOOL* LPBOOL;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef ULONG* PULONG;
typedef ULONG_PTR* PULONG_PTR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE* LPHANDLE;

// Distinct pointer types for the handle kinds, as the SDK declares them with STRICT.
#define DECLARE_HANDLE(name) \
  struct name##__ {          \
    int unused;              \
  };                         \
  typedef struct name##__* name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HKEY);
typedef HINSTANCE HMODULE;

// Windows declares FARPROC as returning INT_PTR. Here it returns void: GCC's
// -Wcast-function-type accepts a cast from void(*)(void) to any function type, and an
// entry point is always cast to its real type before it is called.
typedef void(WINAPI* FARPROC)(void);

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#define MAKEWORD(low, high) ((WORD)(((BYTE)((DWORD_PTR)(low) & 0xff)) | ((WORD)((BYTE)((DWORD_PTR)(high) & 0xff))) << 8))
#define MAKELONG(low, high) ((LONG)(((WORD)((DWORD_PTR)(low) & 0xffff)) | ((DWORD)((WORD)((DWORD_PTR)(high) & 0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l) & 0xffff))
#define HIWORD(l) ((WORD)((DWORD_PTR)(l) >> 16))
#define LOBYTE(w) ((BYTE)((DWORD_PTR)(w) & 0xff))
#define HIBYTE(w) ((BYTE)((DWORD_PTR)(w) >> 8))

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#ifdef __cplusplus
static_assert(sizeof(BYTE) == 1 && sizeof(CHAR) == 1 && sizeof(BOOLEAN) == 1, "8-bit types");
static_assert(sizeof(WORD) == 2 && sizeof(SHORT) == 2 && sizeof(USHORT) == 2, "16-bit types");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(BOOL) == 4 &&
                  sizeof(INT) == 4 && sizeof(UINT) == 4,
              "32-bit types stay 32-bit, as on LLP64 Windows");
static_assert(sizeof(LONGLONG) == 8 && sizeof(ULONGLONG) == 8 && sizeof(__int64) == 8, "64-bit types");
static_assert(sizeof(DWORD_PTR) == sizeof(void*) && sizeof(WPARAM) == sizeof(void*) &&
                  sizeof(LPARAM) == sizeof(void*) && sizeof(SIZE_T) == sizeof(void*),
              "pointer-sized integers");
static_assert(sizeof(HANDLE) == sizeof(void*) && sizeof(HMODULE) == sizeof(void*), "handles are pointers");
#endif
