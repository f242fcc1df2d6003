// The capture devices the system device enumerator (CLSID_SystemDeviceEnum) lists.
//
// Devices come from two places: the device module "KestroDevices.dll" (V4L2 cameras,
// ALSA capture PCMs and the software test devices; loaded by name on first use), and
// registrations made here by a process (a test double for hardware the machine lacks,
// for instance). Each device has a friendly name, a device path unique in its category
// and a function that opens it as a capture filter. Its moniker's display name is
// "@device:kcm:" followed by the device path; its property bag holds "FriendlyName" and
// "DevicePath".
#pragma once

#include "KestroPlatformExport.h"
#include "strmif.h"

// Opens the device at `devicePath` as a filter (one reference in *filter).
typedef HRESULT (*KcmOpenCaptureDevice)(LPCWSTR devicePath, IBaseFilter** filter);
// Called once per device of a listing, in the module's order.
typedef void (*KcmCaptureDeviceVisitor)(void* context, LPCWSTR friendlyName, LPCWSTR devicePath,
                                        KcmOpenCaptureDevice open);
// The device module's entry point "KcmListModuleCaptureDevices".
typedef void (*KcmListCaptureDevicesFunction)(REFCLSID category, KcmCaptureDeviceVisitor visit, void* context);

#define KCM_DEVICE_DISPLAY_NAME_PREFIX L"@device:kcm:"

KCM_EXTERN_C_BEGIN
// Adds a device to `category` after the module's devices, or replaces the registration
// with the same device path. Thread-safe.
KCM_PLATFORM_API void KcmRegisterCaptureDevice(REFCLSID category, LPCWSTR friendlyName, LPCWSTR devicePath,
                                               KcmOpenCaptureDevice open);
// Removes the registration of `devicePath`; nothing happens for an unknown path.
KCM_PLATFORM_API void KcmRevokeCaptureDevice(LPCWSTR devicePath);
KCM_EXTERN_C_END
