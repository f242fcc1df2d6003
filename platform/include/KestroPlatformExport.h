// Export marker and calling-convention words of the platform stand-ins.
#pragma once

// Default visibility on both sides of the boundary, as for the library's own exports.
#define KCM_PLATFORM_API __attribute__((visibility("default")))

// Windows calling conventions carry no meaning on x86-64 Linux; the words stay so
// that declarations written for Windows compile unchanged.
#ifndef WINAPI
#define WINAPI
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef APIENTRY
#define APIENTRY
#endif
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

#ifdef __cplusplus
#define KCM_EXTERN_C extern "C"
#define KCM_EXTERN_C_BEGIN extern "C" {
#define KCM_EXTERN_C_END }
#else
#define KCM_EXTERN_C
#define KCM_EXTERN_C_BEGIN
#define KCM_EXTERN_C_END
#endif
