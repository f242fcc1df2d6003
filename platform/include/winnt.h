// Structured-exception codes and the records that describe a fault: EXCEPTION_RECORD,
// EXCEPTION_POINTERS and the x86-64 CONTEXT, laid out as on 64-bit Windows.
//
// On Linux the faults arrive as signals (see eh.h); the platform fills these records
// from the signal's information and register state: the control and integer registers
// and the FXSAVE image (CONTEXT_FULL); the other vector registers stay zero.
#pragma once

#include "minwindef.h"

#define EXCEPTION_ACCESS_VIOLATION ((DWORD)0xC0000005)
#define EXCEPTION_GUARD_PAGE ((DWORD)0x80000001)
#define EXCEPTION_DATATYPE_MISALIGNMENT ((DWORD)0x80000002)
#define EXCEPTION_BREAKPOINT ((DWORD)0x80000003)
#define EXCEPTION_SINGLE_STEP ((DWORD)0x80000004)
#define EXCEPTION_IN_PAGE_ERROR ((DWORD)0xC0000006)
#define EXCEPTION_INVALID_HANDLE ((DWORD)0xC0000008)
#define STATUS_NO_MEMORY ((DWORD)0xC0000017)
#define EXCEPTION_ILLEGAL_INSTRUCTION ((DWORD)0xC000001D)
#define EXCEPTION_NONCONTINUABLE_EXCEPTION ((DWORD)0xC0000025)
#define EXCEPTION_INVALID_DISPOSITION ((DWORD)0xC0000026)
#define EXCEPTION_ARRAY_BOUNDS_EXCEEDED ((DWORD)0xC000008C)
#define EXCEPTION_FLT_DENORMAL_OPERAND ((DWORD)0xC000008D)
#define EXCEPTION_FLT_DIVIDE_BY_ZERO ((DWORD)0xC000008E)
#define EXCEPTION_FLT_INEXACT_RESULT ((DWORD)0xC000008F)
#define EXCEPTION_FLT_INVALID_OPERATION ((DWORD)0xC0000090)
#define EXCEPTION_FLT_OVERFLOW ((DWORD)0xC0000091)
#define EXCEPTION_FLT_STACK_CHECK ((DWORD)0xC0000092)
#define EXCEPTION_FLT_UNDERFLOW ((DWORD)0xC0000093)
#define EXCEPTION_INT_DIVIDE_BY_ZERO ((DWORD)0xC0000094)
#define EXCEPTION_INT_OVERFLOW ((DWORD)0xC0000095)
#define EXCEPTION_PRIV_INSTRUCTION ((DWORD)0xC0000096)
#define EXCEPTION_STACK_OVERFLOW ((DWORD)0xC00000FD)

#define EXCEPTION_MAXIMUM_PARAMETERS 15
#define EXCEPTION_NONCONTINUABLE 0x1

#define CONTEXT_AMD64 0x00100000L
#define CONTEXT_CONTROL (CONTEXT_AMD64 | 0x1L)
#define CONTEXT_INTEGER (CONTEXT_AMD64 | 0x2L)
#define CONTEXT_FULL 0x0010000BL

typedef struct _EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  struct _EXCEPTION_RECORD* ExceptionRecord;
  PVOID ExceptionAddress;
  DWORD NumberParameters;
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

typedef struct __attribute__((aligned(16))) _M128A {
  ULONGLONG Low;
  LONGLONG High;
} M128A, *PM128A;

// The FXSAVE image.
typedef struct __attribute__((aligned(16))) _XMM_SAVE_AREA32 {
  WORD ControlWord;
  WORD StatusWord;
  BYTE TagWord;
  BYTE Reserved1;
  WORD ErrorOpcode;
  DWORD ErrorOffset;
  WORD ErrorSelector;
  WORD Reserved2;
  DWORD DataOffset;
  WORD DataSelector;
  WORD Reserved3;
  DWORD MxCsr;
  DWORD MxCsr_Mask;
  M128A FloatRegisters[8];
  M128A XmmRegisters[16];
  BYTE Reserved4[96];
} XMM_SAVE_AREA32, *PXMM_SAVE_AREA32;

typedef struct __attribute__((aligned(16))) _CONTEXT {
  DWORD64 P1Home;
  DWORD64 P2Home;
  DWORD64 P3Home;
  DWORD64 P4Home;
  DWORD64 P5Home;
  DWORD64 P6Home;
  DWORD ContextFlags;
  DWORD MxCsr;
  WORD SegCs;
  WORD SegDs;
  WORD SegEs;
  WORD SegFs;
  WORD SegGs;
  WORD SegSs;
  DWORD EFlags;
  DWORD64 Dr0;
  DWORD64 Dr1;
  DWORD64 Dr2;
  DWORD64 Dr3;
  DWORD64 Dr6;
  DWORD64 Dr7;
  DWORD64 Rax;
  DWORD64 Rcx;
  DWORD64 Rdx;
  DWORD64 Rbx;
  DWORD64 Rsp;
  DWORD64 Rbp;
  DWORD64 Rsi;
  DWORD64 Rdi;
  DWORD64 R8;
  DWORD64 R9;
  DWORD64 R10;
  DWORD64 R11;
  DWORD64 R12;
  DWORD64 R13;
  DWORD64 R14;
  DWORD64 R15;
  DWORD64 Rip;
  XMM_SAVE_AREA32 FltSave;
  M128A VectorRegister[26];
  DWORD64 VectorControl;
  DWORD64 DebugControl;
  DWORD64 LastBranchToRip;
  DWORD64 LastBranchFromRip;
  DWORD64 LastExceptionToRip;
  DWORD64 LastExceptionFromRip;
} CONTEXT, *PCONTEXT;

typedef struct _EXCEPTION_POINTERS {
  PEXCEPTION_RECORD ExceptionRecord;
  PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

KCM_EXTERN_C_BEGIN
// Fills the control and integer registers of `context` with the caller's state at the
// point of the call: Rip is the return address, Rsp the caller's stack pointer after
// the return.
KCM_PLATFORM_API void WINAPI RtlCaptureContext(PCONTEXT context);
KCM_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(EXCEPTION_RECORD) == 152 && offsetof(EXCEPTION_RECORD, ExceptionAddress) == 16 &&
                  offsetof(EXCEPTION_RECORD, NumberParameters) == 24 &&
                  offsetof(EXCEPTION_RECORD, ExceptionInformation) == 32,
              "EXCEPTION_RECORD as on 64-bit Windows");
static_assert(sizeof(EXCEPTION_POINTERS) == 16 && offsetof(EXCEPTION_POINTERS, ContextRecord) == 8,
              "EXCEPTION_POINTERS as on 64-bit Windows");
static_assert(sizeof(XMM_SAVE_AREA32) == 512, "the FXSAVE image");
static_assert(sizeof(CONTEXT) == 1232 && alignof(CONTEXT) == 16, "CONTEXT as on 64-bit Windows");
// RtlCaptureContext stores registers at these offsets.
static_assert(offsetof(CONTEXT, ContextFlags) == 0x30 && offsetof(CONTEXT, SegCs) == 0x38 &&
                  offsetof(CONTEXT, EFlags) == 0x44 && offsetof(CONTEXT, Rax) == 0x78 &&
                  offsetof(CONTEXT, Rcx) == 0x80 && offsetof(CONTEXT, Rdx) == 0x88 &&
                  offsetof(CONTEXT, Rbx) == 0x90 && offsetof(CONTEXT, Rsp) == 0x98 &&
                  offsetof(CONTEXT, Rbp) == 0xA0 && offsetof(CONTEXT, Rsi) == 0xA8 &&
                  offsetof(CONTEXT, Rdi) == 0xB0 && offsetof(CONTEXT, R8) == 0xB8 &&
                  offsetof(CONTEXT, R15) == 0xF0 && offsetof(CONTEXT, Rip) == 0xF8 &&
                  offsetof(CONTEXT, FltSave) == 0x100 && offsetof(CONTEXT, VectorRegister) == 0x300 &&
                  offsetof(CONTEXT, LastExceptionFromRip) == 0x4C8,
              "CONTEXT register offsets as on 64-bit Windows");
#endif

// 64-bit values in two 32-bit halves, and the file-time record, as Windows lays them out.
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER;

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  ULONGLONG QuadPart;
} ULARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;
