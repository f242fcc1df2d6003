// Per-thread message queues: PostThreadMessage, PeekMessage, GetMessage and the waits
// that also wake for a posted message.
//
// Threads started through CreateThread or _beginthreadex own a queue from their first
// instruction, so a message posted right after the start is never refused; any other
// thread gets its queue on its first PeekMessage, GetMessage or MsgWaitForMultipleObjects.
// Posting to a thread without a queue fails with ERROR_INVALID_PARAMETER (Windows:
// ERROR_INVALID_THREAD_ID, which our error table does not carry). Queues are unbounded.
#pragma once

#include "windef.h"

#define WM_NULL 0x0000
#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define WM_APP 0x8000
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define QS_POSTMESSAGE 0x0008
#define QS_ALLPOSTMESSAGE 0x0100

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *PMSG, *LPMSG;

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
KCM_PLATFORM_API BOOL WINAPI PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT with the exit code to the caller's own queue.
KCM_PLATFORM_API void WINAPI PostQuitMessage(int exitCode);
// Only thread messages exist: `window` must be null (anything else fails with
// ERROR_INVALID_HANDLE). A filter of 0, 0 takes every message; any other filter applies
// to WM_QUIT as well.
KCM_PLATFORM_API BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
KCM_PLATFORM_API BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Blocks until a message arrives; answers 0 for WM_QUIT, -1 on a bad argument.
KCM_PLATFORM_API BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
KCM_PLATFORM_API BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
// As WaitForMultipleObjects, but also answers WAIT_OBJECT_0 + count while the caller's
// queue holds a message (the wake mask is accepted; every posted message counts).
KCM_PLATFORM_API DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                                        DWORD milliseconds, DWORD wakeMask);
KCM_EXTERN_C_END
