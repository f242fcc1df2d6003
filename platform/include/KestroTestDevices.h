// The software test devices of the device module (libKestroDevices.so, "KestroDevices.dll"):
// a moving test-pattern camera with a crossbar of composite and S-video inputs, and a
// tone generator. The system device enumerator lists the standard ones when the
// environment variable KCM_TEST_DEVICES is 1 or the settings file
// "KestroCommonModule.xml" beside the libraries holds <testDevices value="1"/> as a
// child of its document element. Hosts and tests may also open cameras of their own
// shape and register them (KestroCaptureDevices.h).
#pragma once

#include "KestroCaptureDevices.h"

#define KCM_TEST_CAMERA_NAME L"Kestro Test Pattern Camera"
#define KCM_TEST_TONE_NAME L"Kestro Test Tone Generator"
#define KCM_TEST_CAMERA_PATH L"test:camera"
#define KCM_TEST_TONE_PATH L"test:tone"

// The shape of a test-pattern camera: each FourCC ("YUY2", "I420", "RV32" for RGB32,
// "RGBA" for ARGB32, as 32-bit codes in memory order) at each size and frame interval
// (100 ns) is one capability, in that nesting order. Other intervals down to the
// shortest listed and up to one second are accepted by SetFormat.
typedef struct tagKcmTestCameraShape {
  const DWORD* fourCCs;
  int fourCCCount;
  const SIZE* sizes;
  int sizeCount;
  const LONGLONG* frameIntervals;
  int frameIntervalCount;
} KcmTestCameraShape;

KCM_EXTERN_C_BEGIN
// A new test-pattern camera of `shape` (null: the standard one), one reference in *filter.
// The filter keeps no pointer into `shape`.
__attribute__((visibility("default"))) HRESULT KcmCreateTestPatternCamera(const KcmTestCameraShape* shape,
                                                                          LPCWSTR friendlyName, IBaseFilter** filter);
// Lists the module's devices of `category` (the function the enumerator calls).
__attribute__((visibility("default"))) void KcmListModuleCaptureDevices(REFCLSID category, KcmCaptureDeviceVisitor visit,
                                                                        void* context);
KCM_EXTERN_C_END
