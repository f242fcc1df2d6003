// The winmm stand-in on ALSA file PCMs: device lists, buffer flow and callbacks, the
// software gain and the wave-in mixer.
#include <gtest/gtest.h>
#include <string.h>
#include <wchar.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "mmsystem.h"

using namespace audio_test;

namespace {

// Records the messages of one handle's CALLBACK_FUNCTION.
struct CallbackLog {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<UINT, WAVEHDR*>> messages;

  static void CALLBACK record(HANDLE, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    auto* log = reinterpret_cast<CallbackLog*>(instance);
    std::lock_guard<std::mutex> hold(log->mutex);
    log->messages.emplace_back(message, reinterpret_cast<WAVEHDR*>(param1));
    log->changed.notify_all();
  }
  size_t count(UINT message) {
    std::lock_guard<std::mutex> hold(mutex);
    size_t n = 0;
    for (const auto& entry : messages) n += entry.first == message ? 1 : 0;
    return n;
  }
  bool waitFor(UINT message, size_t n) {
    std::unique_lock<std::mutex> hold(mutex);
    return changed.wait_for(hold, std::chrono::seconds(5), [&] {
      size_t seen = 0;
      for (const auto& entry : messages) seen += entry.first == message ? 1 : 0;
      return seen >= n;
    });
  }
  std::vector<WAVEHDR*> headers(UINT message) {
    std::lock_guard<std::mutex> hold(mutex);
    std::vector<WAVEHDR*> found;
    for (const auto& entry : messages)
      if (entry.first == message) found.push_back(entry.second);
    return found;
  }
};

UINT indexOf(const std::wstring& name, bool capture) {
  const UINT count = capture ? waveInGetNumDevs() : waveOutGetNumDevs();
  for (UINT index = 0; index < count; ++index) {
    WAVEINCAPSW inCaps = {};
    WAVEOUTCAPSW outCaps = {};
    const wchar_t* found = capture ? (waveInGetDevCapsW(index, &inCaps, sizeof(inCaps)), inCaps.szPname)
                                   : (waveOutGetDevCapsW(index, &outCaps, sizeof(outCaps)), outCaps.szPname);
    if (name == found) return index;
  }
  return WAVE_MAPPER - 1;
}

WAVEHDR headerFor(std::vector<char>& bytes) {
  WAVEHDR header = {};
  header.lpData = bytes.data();
  header.dwBufferLength = static_cast<DWORD>(bytes.size());
  return header;
}

HWAVEOUT openOut(CallbackLog& log, const WAVEFORMATEX& format) {
  HWAVEOUT out = nullptr;
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutOpen(&out, indexOf(L"kcm_out", false), &format,
                                          reinterpret_cast<DWORD_PTR>(&CallbackLog::record),
                                          reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION));
  return out;
}

HWAVEIN openIn(CallbackLog& log, const WAVEFORMATEX& format) {
  HWAVEIN in = nullptr;
  EXPECT_EQ(MMSYSERR_NOERROR, waveInOpen(&in, indexOf(L"kcm_in", true), &format,
                                         reinterpret_cast<DWORD_PTR>(&CallbackLog::record),
                                         reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION));
  return in;
}

}  // namespace

TEST(WaveStandIn, ListsTheConfiguredPcmsByNameWithDefaultFirst) {
  ASSERT_GE(waveOutGetNumDevs(), 3u);
  WAVEOUTCAPSW caps = {};
  ASSERT_EQ(MMSYSERR_NOERROR, waveOutGetDevCapsW(0, &caps, sizeof(caps)));
  EXPECT_STREQ(L"default", caps.szPname);
  EXPECT_NE(WAVE_MAPPER - 1, indexOf(L"kcm_out", false));
  EXPECT_NE(WAVE_MAPPER - 1, indexOf(L"kcm_in", true));
  // Building blocks are not devices of their own.
  EXPECT_EQ(WAVE_MAPPER - 1, indexOf(L"null", false));
  EXPECT_EQ(MMSYSERR_BADDEVICEID, waveOutGetDevCapsW(waveOutGetNumDevs(), &caps, sizeof(caps)));
  EXPECT_EQ(MMSYSERR_INVALPARAM, waveOutGetDevCapsW(0, &caps, 4));
}

TEST(WaveStandIn, RefusesBadHandlesFormatsAndCallbackKinds) {
  const WAVEFORMATEX format = pcm16(16000, 1);
  WAVEFORMATEX twelveBit = format;
  twelveBit.wBitsPerSample = 12;
  HWAVEOUT out = nullptr;
  EXPECT_EQ(WAVERR_BADFORMAT, waveOutOpen(&out, 0, &twelveBit, 0, 0, CALLBACK_NULL));
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutOpen(nullptr, 0, &format, 0, 0, WAVE_FORMAT_QUERY));
  EXPECT_EQ(MMSYSERR_BADDEVICEID, waveOutOpen(&out, 999, &format, 0, 0, CALLBACK_NULL));
  EXPECT_EQ(MMSYSERR_NOTSUPPORTED, waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_WINDOW));
  EXPECT_EQ(MMSYSERR_INVALHANDLE, waveOutClose(reinterpret_cast<HWAVEOUT>(&out)));
  EXPECT_EQ(MMSYSERR_INVALHANDLE, waveInStart(nullptr));
  // A wave-out handle is not a wave-in handle.
  ASSERT_EQ(MMSYSERR_NOERROR, waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL));
  EXPECT_EQ(MMSYSERR_INVALHANDLE, waveInClose(reinterpret_cast<HWAVEIN>(out)));
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutClose(out));
}

TEST(WaveStandIn, PlaysQueuedBuffersInOrderByteForByte) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  CallbackLog log;
  HWAVEOUT out = openOut(log, pcm16(16000, 1));
  std::vector<char> all = rampBytes(3 * 640);
  std::vector<std::vector<char>> blocks;
  for (int i = 0; i < 3; ++i) blocks.emplace_back(all.begin() + i * 640, all.begin() + (i + 1) * 640);
  std::vector<WAVEHDR> headers;
  for (auto& block : blocks) headers.push_back(headerFor(block));
  EXPECT_EQ(WAVERR_UNPREPARED, waveOutWrite(out, &headers[0], sizeof(WAVEHDR)));
  for (WAVEHDR& header : headers) {
    ASSERT_EQ(MMSYSERR_NOERROR, waveOutPrepareHeader(out, &header, sizeof(WAVEHDR)));
    ASSERT_EQ(MMSYSERR_NOERROR, waveOutWrite(out, &header, sizeof(WAVEHDR)));
  }
  ASSERT_TRUE(log.waitFor(WOM_DONE, 3));
  EXPECT_EQ((std::vector<WAVEHDR*>{&headers[0], &headers[1], &headers[2]}), log.headers(WOM_DONE));
  for (WAVEHDR& header : headers) {
    EXPECT_EQ(static_cast<DWORD>(WHDR_DONE | WHDR_PREPARED), header.dwFlags);
    EXPECT_EQ(MMSYSERR_NOERROR, waveOutUnprepareHeader(out, &header, sizeof(WAVEHDR)));
  }
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutClose(out));
  EXPECT_EQ(1u, log.count(WOM_OPEN));
  EXPECT_EQ(1u, log.count(WOM_CLOSE));
  EXPECT_EQ(all, readFile(dir.path("out.raw")));
}

TEST(WaveStandIn, PausedBuffersStayQueuedUntilResetHandsThemBack) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  CallbackLog log;
  HWAVEOUT out = openOut(log, pcm16(16000, 1));
  ASSERT_EQ(MMSYSERR_NOERROR, waveOutPause(out));
  std::vector<char> block = rampBytes(640);
  WAVEHDR header = headerFor(block);
  waveOutPrepareHeader(out, &header, sizeof(WAVEHDR));
  ASSERT_EQ(MMSYSERR_NOERROR, waveOutWrite(out, &header, sizeof(WAVEHDR)));
  EXPECT_EQ(WAVERR_STILLPLAYING, waveOutUnprepareHeader(out, &header, sizeof(WAVEHDR)));
  EXPECT_EQ(WAVERR_STILLPLAYING, waveOutClose(out));
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutReset(out));
  EXPECT_EQ(1u, log.count(WOM_DONE));  // delivered before reset returns
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutClose(out));
  EXPECT_TRUE(readFile(dir.path("out.raw")).empty());
}

TEST(WaveStandIn, OutputVolumeScalesEachChannelInSoftware) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  CallbackLog log;
  HWAVEOUT out = openOut(log, pcm16(16000, 2));
  ASSERT_EQ(MMSYSERR_NOERROR, waveOutSetVolume(out, 0x0000FFFF));  // left full, right silent
  DWORD volume = 0;
  EXPECT_EQ(MMSYSERR_NOERROR, waveOutGetVolume(out, &volume));
  EXPECT_EQ(0x0000FFFFu, volume);
  std::vector<char> block = rampBytes(1280);
  WAVEHDR header = headerFor(block);
  waveOutPrepareHeader(out, &header, sizeof(WAVEHDR));
  waveOutWrite(out, &header, sizeof(WAVEHDR));
  ASSERT_TRUE(log.waitFor(WOM_DONE, 1));
  ASSERT_EQ(MMSYSERR_NOERROR, waveOutClose(out));
  const std::vector<char> played = readFile(dir.path("out.raw"));
  ASSERT_EQ(block.size(), played.size());
  for (size_t frame = 0; frame < played.size(); frame += 4) {
    EXPECT_EQ(0, memcmp(&played[frame], &block[frame], 2)) << frame;
    EXPECT_EQ(0, played[frame + 2] | played[frame + 3]) << frame;
  }
  EXPECT_EQ(rampBytes(1280), block);  // the host's buffer is left as it was
}

TEST(WaveStandIn, RecordsTheCaptureFileIntoQueuedBuffers) {
  TempDir dir;
  const std::vector<char> source = rampBytes(4 * 640);
  writeFile(dir.path("in.raw"), source);
  routeDevice("KCM_AUDIO_IN", dir.path("in.raw"));
  CallbackLog log;
  HWAVEIN in = openIn(log, pcm16(16000, 1));
  std::vector<std::vector<char>> buffers(4, std::vector<char>(640));
  std::vector<WAVEHDR> headers;
  for (auto& buffer : buffers) headers.push_back(headerFor(buffer));
  for (WAVEHDR& header : headers) {
    waveInPrepareHeader(in, &header, sizeof(WAVEHDR));
    ASSERT_EQ(MMSYSERR_NOERROR, waveInAddBuffer(in, &header, sizeof(WAVEHDR)));
  }
  EXPECT_EQ(0u, log.count(WIM_DATA));  // nothing before start
  ASSERT_EQ(MMSYSERR_NOERROR, waveInStart(in));
  ASSERT_TRUE(log.waitFor(WIM_DATA, 4));
  std::vector<char> recorded;
  for (WAVEHDR* header : log.headers(WIM_DATA)) {
    EXPECT_EQ(640u, header->dwBytesRecorded);
    recorded.insert(recorded.end(), header->lpData, header->lpData + header->dwBytesRecorded);
  }
  EXPECT_EQ(source, recorded);
  EXPECT_EQ(MMSYSERR_NOERROR, waveInReset(in));
  EXPECT_EQ(MMSYSERR_NOERROR, waveInClose(in));
  EXPECT_EQ(1u, log.count(WIM_CLOSE));
}

TEST(WaveStandIn, ResetHandsBackEveryBufferOfAStoppedRecording) {
  TempDir dir;
  routeDevice("KCM_AUDIO_IN", "/dev/zero");
  CallbackLog log;
  HWAVEIN in = openIn(log, pcm16(16000, 1));
  std::vector<std::vector<char>> buffers(3, std::vector<char>(640));
  std::vector<WAVEHDR> headers;
  for (auto& buffer : buffers) headers.push_back(headerFor(buffer));
  for (WAVEHDR& header : headers) {
    waveInPrepareHeader(in, &header, sizeof(WAVEHDR));
    waveInAddBuffer(in, &header, sizeof(WAVEHDR));
  }
  EXPECT_EQ(WAVERR_STILLPLAYING, waveInClose(in));
  EXPECT_EQ(MMSYSERR_NOERROR, waveInReset(in));
  EXPECT_EQ(3u, log.count(WIM_DATA));
  for (WAVEHDR& header : headers) EXPECT_EQ(0u, header.dwBytesRecorded);
  EXPECT_EQ(MMSYSERR_NOERROR, waveInClose(in));
}

TEST(WaveStandIn, MicrophoneVolumeOfTheWaveInMixerScalesCapture) {
  TempDir dir;
  const std::vector<char> source = rampBytes(640, 1000);
  writeFile(dir.path("in.raw"), source);
  routeDevice("KCM_AUDIO_IN", dir.path("in.raw"));
  CallbackLog log;
  HWAVEIN in = openIn(log, pcm16(16000, 1));
  HMIXER mixer = nullptr;
  ASSERT_EQ(MMSYSERR_NOERROR, mixerOpen(&mixer, reinterpret_cast<UINT_PTR>(in), 0, 0, MIXER_OBJECTF_HWAVEIN));
  const HMIXEROBJ object = reinterpret_cast<HMIXEROBJ>(mixer);
  MIXERLINEW line = {};
  line.cbStruct = sizeof(line);
  line.dwDestination = 1;
  line.dwSource = 0;
  ASSERT_EQ(MMSYSERR_NOERROR, mixerGetLineInfoW(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE));
  EXPECT_EQ(static_cast<DWORD>(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE), line.dwComponentType);
  MIXERCONTROLW control = {};
  MIXERLINECONTROLSW controls = {};
  controls.cbStruct = sizeof(controls);
  controls.dwLineID = line.dwLineID;
  controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
  controls.cControls = 1;
  controls.cbmxctrl = sizeof(control);
  controls.pamxctrl = &control;
  ASSERT_EQ(MMSYSERR_NOERROR,
            mixerGetLineControlsW(object, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE));
  MIXERCONTROLDETAILS_UNSIGNED silent[2] = {{0}, {0}};
  MIXERCONTROLDETAILS details = {};
  details.cbStruct = sizeof(details);
  details.dwControlID = control.dwControlID;
  details.cChannels = 2;
  details.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
  details.paDetails = silent;
  ASSERT_EQ(MMSYSERR_NOERROR, mixerSetControlDetailsW(object, &details, MIXER_OBJECTF_HMIXER));
  EXPECT_EQ(MMSYSERR_NOERROR, mixerClose(mixer));
  EXPECT_EQ(MMSYSERR_INVALHANDLE, mixerClose(mixer));

  std::vector<char> buffer(640, 'x');
  WAVEHDR header = headerFor(buffer);
  waveInPrepareHeader(in, &header, sizeof(WAVEHDR));
  waveInAddBuffer(in, &header, sizeof(WAVEHDR));
  waveInStart(in);
  ASSERT_TRUE(log.waitFor(WIM_DATA, 1));
  EXPECT_EQ(std::vector<char>(640, 0), buffer);
  waveInReset(in);
  waveInClose(in);
  HMIXER none = nullptr;
  EXPECT_EQ(MMSYSERR_INVALHANDLE, mixerOpen(&none, reinterpret_cast<UINT_PTR>(in), 0, 0, MIXER_OBJECTF_HWAVEIN));
}
