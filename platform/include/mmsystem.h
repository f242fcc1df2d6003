// Wave-form audio devices and their mixers (winmm's waveIn…, waveOut…, mixer…), over ALSA.
//
// Devices are the PCMs of the ALSA configuration in force (ALSA_CONFIG_PATH selects a
// private one), listed by name: "default" first, then every other PCM of the
// configuration that opens in the direction asked. waveXGetNumDevs takes a fresh list;
// the other calls that take a device index use the list of the last count. A name longer
// than 31 characters is cut in szPname but opened in full.
//
// Each open handle has one thread of its own that moves the queued WAVEHDR buffers to or
// from the PCM and calls the CALLBACK_FUNCTION callback with WOM_DONE / WIM_DATA. The
// OPEN and CLOSE messages come on the caller's thread, inside waveXOpen and waveXClose.
// Reset, stop and close wait for that thread, so they must not be called from inside the
// callback (winmm forbids that as well). Only CALLBACK_FUNCTION and CALLBACK_NULL are
// supported; other callback kinds are refused with MMSYSERR_NOTSUPPORTED.
//
// Volume: where the PCM sits on a sound card with a mixer element, waveOutSetVolume and
// the microphone volume control set that element; otherwise they scale 16-bit samples in
// software, and still succeed. The mixer of a wave-in handle (mixerOpen with
// MIXER_OBJECTF_HWAVEIN) has two destinations: 0 speakers and 1 wave-in; destination 1
// has one source, the microphone, with a VOLUME control, and a MUX control with the
// microphone as its only item. Any other mixer id is refused with MMSYSERR_BADDEVICEID.
//
// WCHAR is 32-bit here, so the caps and mixer records hold the Windows fields in the
// Windows order but are larger than their Windows counterparts.
#pragma once

#include "minwindef.h"
#include "mmreg.h"
#include "timeapi.h"

typedef UINT MMRESULT;
typedef UINT MMVERSION;

DECLARE_HANDLE(HWAVEIN);
DECLARE_HANDLE(HWAVEOUT);
DECLARE_HANDLE(HMIXER);
DECLARE_HANDLE(HMIXEROBJ);
typedef HWAVEIN* LPHWAVEIN;
typedef HWAVEOUT* LPHWAVEOUT;
typedef HMIXER* LPHMIXER;

// The callback of CALLBACK_FUNCTION: (handle, message, instance, param1, param2).
typedef void(CALLBACK* LPWAVECALLBACK)(HANDLE handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                       DWORD_PTR param2);

#define MAXPNAMELEN 32
#define MIXER_SHORT_NAME_CHARS 16
#define MIXER_LONG_NAME_CHARS 64

#define WAVE_MAPPER ((UINT)-1)
#define WAVE_FORMAT_QUERY 0x1
#define WAVE_ALLOWSYNC 0x2
#define WAVE_MAPPED 0x4
#define WAVE_FORMAT_DIRECT 0x8
#define CALLBACK_TYPEMASK 0x70000
#define CALLBACK_NULL 0x0
#define CALLBACK_WINDOW 0x10000
#define CALLBACK_TASK 0x20000
#define CALLBACK_THREAD 0x20000
#define CALLBACK_FUNCTION 0x30000
#define CALLBACK_EVENT 0x50000

#define MM_WOM_OPEN 0x3BB
#define MM_WOM_CLOSE 0x3BC
#define MM_WOM_DONE 0x3BD
#define MM_WIM_OPEN 0x3BE
#define MM_WIM_CLOSE 0x3BF
#define MM_WIM_DATA 0x3C0
#define WOM_OPEN MM_WOM_OPEN
#define WOM_CLOSE MM_WOM_CLOSE
#define WOM_DONE MM_WOM_DONE
#define WIM_OPEN MM_WIM_OPEN
#define WIM_CLOSE MM_WIM_CLOSE
#define WIM_DATA MM_WIM_DATA

#define WHDR_DONE 0x1
#define WHDR_PREPARED 0x2
#define WHDR_BEGINLOOP 0x4
#define WHDR_ENDLOOP 0x8
#define WHDR_INQUEUE 0x10

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_NOTENABLED 3
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_BADERRNUM 9
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define MMSYSERR_HANDLEBUSY 12
#define MMSYSERR_INVALIDALIAS 13
#define MMSYSERR_BADDB 14
#define MMSYSERR_KEYNOTFOUND 15
#define MMSYSERR_READERROR 16
#define MMSYSERR_WRITEERROR 17
#define MMSYSERR_DELETEERROR 18
#define MMSYSERR_VALNOTFOUND 19
#define MMSYSERR_NODRIVERCB 20
#define MMSYSERR_MOREDATA 21
#define MMSYSERR_LASTERROR 21
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34
#define WAVERR_SYNC 35
#define MIXERR_INVALLINE 1024
#define MIXERR_INVALCONTROL 1025
#define MIXERR_INVALVALUE 1026

#define MIXER_OBJECTF_HANDLE 0x80000000
#define MIXER_OBJECTF_MIXER 0x00000000
#define MIXER_OBJECTF_HMIXER 0x80000000
#define MIXER_OBJECTF_WAVEOUT 0x10000000
#define MIXER_OBJECTF_HWAVEOUT 0x90000000
#define MIXER_OBJECTF_WAVEIN 0x20000000
#define MIXER_OBJECTF_HWAVEIN 0xA0000000
#define MIXER_GETLINEINFOF_DESTINATION 0x0
#define MIXER_GETLINEINFOF_SOURCE 0x1
#define MIXER_GETLINEINFOF_LINEID 0x2
#define MIXER_GETLINEINFOF_COMPONENTTYPE 0x3
#define MIXER_GETLINEINFOF_TARGETTYPE 0x4
#define MIXER_GETLINEINFOF_QUERYMASK 0xF
#define MIXER_GETLINECONTROLSF_ALL 0x0
#define MIXER_GETLINECONTROLSF_ONEBYID 0x1
#define MIXER_GETLINECONTROLSF_ONEBYTYPE 0x2
#define MIXER_GETLINECONTROLSF_QUERYMASK 0xF
#define MIXER_GETCONTROLDETAILSF_VALUE 0x0
#define MIXER_GETCONTROLDETAILSF_LISTTEXT 0x1
#define MIXER_GETCONTROLDETAILSF_QUERYMASK 0xF
#define MIXER_SETCONTROLDETAILSF_VALUE 0x0
#define MIXER_SETCONTROLDETAILSF_CUSTOM 0x1
#define MIXER_SETCONTROLDETAILSF_QUERYMASK 0xF
#define MIXERLINE_LINEF_ACTIVE 0x1
#define MIXERLINE_LINEF_DISCONNECTED 0x8000
#define MIXERLINE_LINEF_SOURCE 0x80000000

#define MIXERLINE_COMPONENTTYPE_DST_SPEAKERS 0x4
#define MIXERLINE_COMPONENTTYPE_DST_WAVEIN 0x7
#define MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE 0x1003
#define MIXERLINE_TARGETTYPE_UNDEFINED 0x0
#define MIXERLINE_TARGETTYPE_WAVEOUT 0x1
#define MIXERLINE_TARGETTYPE_WAVEIN 0x2

#define MIXERCONTROL_CONTROLF_UNIFORM 0x00000001
#define MIXERCONTROL_CONTROLF_MULTIPLE 0x00000002
#define MIXERCONTROL_CONTROLF_DISABLED 0x80000000
#define MIXERCONTROL_CONTROLTYPE_VOLUME 0x50030001
#define MIXERCONTROL_CONTROLTYPE_MUX 0x70010001

#pragma pack(push, 1)
typedef struct wavehdr_tag {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  struct wavehdr_tag* lpNext;
  DWORD_PTR reserved;
} WAVEHDR, *PWAVEHDR, *LPWAVEHDR;

typedef struct tagWAVEINCAPSW {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  WCHAR szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
} WAVEINCAPSW, *LPWAVEINCAPSW;

typedef struct tagWAVEOUTCAPSW {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  WCHAR szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
  DWORD dwSupport;
} WAVEOUTCAPSW, *LPWAVEOUTCAPSW;

typedef struct tagMIXERLINEW {
  DWORD cbStruct;
  DWORD dwDestination;
  DWORD dwSource;
  DWORD dwLineID;
  DWORD fdwLine;
  DWORD_PTR dwUser;
  DWORD dwComponentType;
  DWORD cChannels;
  DWORD cConnections;
  DWORD cControls;
  WCHAR szShortName[MIXER_SHORT_NAME_CHARS];
  WCHAR szName[MIXER_LONG_NAME_CHARS];
  struct {
    DWORD dwType;
    DWORD dwDeviceID;
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    WCHAR szPname[MAXPNAMELEN];
  } Target;
} MIXERLINEW, *LPMIXERLINEW;

typedef struct tagMIXERCONTROLW {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD dwControlType;
  DWORD fdwControl;
  DWORD cMultipleItems;
  WCHAR szShortName[MIXER_SHORT_NAME_CHARS];
  WCHAR szName[MIXER_LONG_NAME_CHARS];
  union {
    struct {
      LONG lMinimum;
      LONG lMaximum;
    };
    struct {
      DWORD dwMinimum;
      DWORD dwMaximum;
    };
    DWORD dwReserved[6];
  } Bounds;
  union {
    DWORD cSteps;
    DWORD cbCustomData;
    DWORD dwReserved[6];
  } Metrics;
} MIXERCONTROLW, *LPMIXERCONTROLW;

typedef struct tagMIXERLINECONTROLSW {
  DWORD cbStruct;
  DWORD dwLineID;
  union {
    DWORD dwControlID;
    DWORD dwControlType;
  };
  DWORD cControls;
  DWORD cbmxctrl;
  LPMIXERCONTROLW pamxctrl;
} MIXERLINECONTROLSW, *LPMIXERLINECONTROLSW;

typedef struct tMIXERCONTROLDETAILS {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD cChannels;
  union {
    HWND hwndOwner;
    DWORD cMultipleItems;
  };
  DWORD cbDetails;
  LPVOID paDetails;
} MIXERCONTROLDETAILS, *LPMIXERCONTROLDETAILS;

typedef struct tMIXERCONTROLDETAILS_UNSIGNED {
  DWORD dwValue;
} MIXERCONTROLDETAILS_UNSIGNED, *LPMIXERCONTROLDETAILS_UNSIGNED;

typedef struct tMIXERCONTROLDETAILS_BOOLEAN {
  LONG fValue;
} MIXERCONTROLDETAILS_BOOLEAN, *LPMIXERCONTROLDETAILS_BOOLEAN;

typedef struct tagMIXERCONTROLDETAILS_LISTTEXTW {
  DWORD dwParam1;
  DWORD dwParam2;
  WCHAR szName[MIXER_LONG_NAME_CHARS];
} MIXERCONTROLDETAILS_LISTTEXTW, *LPMIXERCONTROLDETAILS_LISTTEXTW;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(WAVEHDR) == 48 && offsetof(WAVEHDR, dwBufferLength) == 8 && offsetof(WAVEHDR, dwFlags) == 24 &&
                  offsetof(WAVEHDR, lpNext) == 32,
              "WAVEHDR has the 64-bit Windows layout");
static_assert(offsetof(MIXERLINEW, dwUser) == 20 && offsetof(MIXERLINEW, dwComponentType) == 28,
              "MIXERLINEW is packed");
static_assert(offsetof(MIXERCONTROLW, Bounds) == 20 + 80 * sizeof(WCHAR), "MIXERCONTROLW is packed");
static_assert(sizeof(MIXERLINECONTROLSW) == 28 && sizeof(MIXERCONTROLDETAILS) == 32, "mixer records are packed");
#endif

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API UINT WINAPI waveInGetNumDevs(void);
KCM_PLATFORM_API MMRESULT WINAPI waveInGetDevCapsW(UINT_PTR deviceId, LPWAVEINCAPSW caps, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveInOpen(LPHWAVEIN handle, UINT deviceId, LPCWAVEFORMATEX format,
                                            DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
KCM_PLATFORM_API MMRESULT WINAPI waveInClose(HWAVEIN handle);
KCM_PLATFORM_API MMRESULT WINAPI waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveInStart(HWAVEIN handle);
// Ends recording: a partly filled buffer comes back done, empty ones stay queued.
KCM_PLATFORM_API MMRESULT WINAPI waveInStop(HWAVEIN handle);
// Ends recording and hands every queued buffer back done.
KCM_PLATFORM_API MMRESULT WINAPI waveInReset(HWAVEIN handle);

KCM_PLATFORM_API UINT WINAPI waveOutGetNumDevs(void);
KCM_PLATFORM_API MMRESULT WINAPI waveOutGetDevCapsW(UINT_PTR deviceId, LPWAVEOUTCAPSW caps, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format,
                                             DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
KCM_PLATFORM_API MMRESULT WINAPI waveOutClose(HWAVEOUT handle);
KCM_PLATFORM_API MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size);
KCM_PLATFORM_API MMRESULT WINAPI waveOutPause(HWAVEOUT handle);
KCM_PLATFORM_API MMRESULT WINAPI waveOutRestart(HWAVEOUT handle);
// Stops playback and hands every queued buffer back done.
KCM_PLATFORM_API MMRESULT WINAPI waveOutReset(HWAVEOUT handle);
// Low word left, high word right, each 0x0000–0xFFFF.
KCM_PLATFORM_API MMRESULT WINAPI waveOutSetVolume(HWAVEOUT handle, DWORD volume);
KCM_PLATFORM_API MMRESULT WINAPI waveOutGetVolume(HWAVEOUT handle, LPDWORD volume);

KCM_PLATFORM_API MMRESULT WINAPI mixerOpen(LPHMIXER mixer, UINT_PTR deviceId, DWORD_PTR callback,
                                           DWORD_PTR instance, DWORD flags);
KCM_PLATFORM_API MMRESULT WINAPI mixerClose(HMIXER mixer);
KCM_PLATFORM_API MMRESULT WINAPI mixerGetLineInfoW(HMIXEROBJ mixer, LPMIXERLINEW line, DWORD flags);
KCM_PLATFORM_API MMRESULT WINAPI mixerGetLineControlsW(HMIXEROBJ mixer, LPMIXERLINECONTROLSW controls,
                                                       DWORD flags);
KCM_PLATFORM_API MMRESULT WINAPI mixerGetControlDetailsW(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details,
                                                         DWORD flags);
KCM_PLATFORM_API MMRESULT WINAPI mixerSetControlDetailsW(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details,
                                                         DWORD flags);
KCM_EXTERN_C_END
