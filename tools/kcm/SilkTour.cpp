// Tour step "silk": the speech codec.
//   kcm silk                                   encodes and decodes a spoken sentence
//                                              (espeak-ng and sox) or a sung vowel through
//                                              IAudioRealTimeCodec; prints bit rate and SNR
//   kcm silk encode <in.wav> <out.silk> [--bitrate N] [--framing tencent|skype]
//   kcm silk decode <in.silk> <out.wav> [--rate R]
// Files are SILK v3 (both framings are read); WAV files are 16-bit mono PCM.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KestroAudioRealTimeCodec.h"
#include "SilkCodec.h"
#include "SilkFile.h"
#include "Tour.h"
#include "winerror.h"

namespace {

constexpr int kDemoRate = 16000;
constexpr int kDemoKbps = 24;

bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

void PutLe(std::vector<uint8_t>* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// 16-bit mono PCM from a RIFF WAVE file; false with a message for anything else.
bool ReadWav(const std::string& path, std::vector<int16_t>* pcm, int* rate) {
  std::vector<uint8_t> bytes;
  if (!ReadBytes(path, &bytes) || bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) || memcmp(&bytes[8], "WAVE", 4)) {
    printf("   %s: not a WAV file\n", path.c_str());
    return false;
  }
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint8_t* chunk = &bytes[at];
    const size_t size = Le(chunk + 4, 4);
    const size_t body = at + 8;
    if (body + size > bytes.size() && memcmp(chunk, "data", 4)) break;
    if (!memcmp(chunk, "fmt ", 4) && size >= 16) {
      *rate = static_cast<int>(Le(chunk + 12, 4));
      haveFormat = Le(chunk + 8, 2) == 1 && Le(chunk + 10, 2) == 1 && Le(chunk + 22, 2) == 16;
    } else if (!memcmp(chunk, "data", 4) && haveFormat) {
      const size_t available = std::min(size, bytes.size() - body) / 2;
      pcm->resize(available);
      memcpy(pcm->data(), &bytes[body], available * 2);
      return true;
    }
    at = body + size + (size & 1);
  }
  printf("   %s: want 16-bit mono PCM\n", path.c_str());
  return false;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int rate) {
  std::vector<uint8_t> out;
  const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutLe(&out, 36 + dataBytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(&out, 16, 4);
  PutLe(&out, 1, 2);  // PCM
  PutLe(&out, 1, 2);  // mono
  PutLe(&out, static_cast<uint32_t>(rate), 4);
  PutLe(&out, static_cast<uint32_t>(rate * 2), 4);
  PutLe(&out, 2, 2);
  PutLe(&out, 16, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutLe(&out, dataBytes, 4);
  const uint8_t* samples = reinterpret_cast<const uint8_t*>(pcm.data());
  out.insert(out.end(), samples, samples + dataBytes);
  return WriteBytes(path, out);
}

bool ParseNumber(const std::string& text, const char* what, int* value) {
  char* end = nullptr;
  const long number = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || number <= 0 || number > 1000000) {
    printf("   bad %s: %s\n", what, text.c_str());
    return false;
  }
  *value = static_cast<int>(number);
  return true;
}

bool EncodeFile(const std::string& in, const std::string& out) {
  const TourOptions& options = Options();
  int bitRate = 24000;
  if (!options.silkBitRate.empty() && !ParseNumber(options.silkBitRate, "--bitrate", &bitRate)) return false;
  if (options.silkFraming != "tencent" && options.silkFraming != "skype") {
    printf("   bad --framing: %s (want tencent or skype)\n", options.silkFraming.c_str());
    return false;
  }
  std::vector<int16_t> pcm;
  int rate = 0;
  if (!ReadWav(in, &pcm, &rate)) return false;
  int32_t size = 0;
  silk::encoderStateSize(&size);
  std::vector<uint8_t> state(static_cast<size_t>(size));
  silk::EncoderControl control{};
  silk::initEncoder(state.data(), &control);
  control.API_sampleRate = control.maxInternalSampleRate = rate;
  control.packetSize = rate / 50;
  control.bitRate = bitRate;
  pcm.resize((pcm.size() + control.packetSize - 1) / control.packetSize * control.packetSize);  // whole packets
  silk::SilkFile file;
  file.framing = options.silkFraming == "skype" ? silk::FileFraming::Skype : silk::FileFraming::Tencent;
  size_t total = 0;
  for (size_t at = 0; at < pcm.size(); at += static_cast<size_t>(control.packetSize)) {
    uint8_t packet[silk::kMaxPacketBytes];
    int16_t written = sizeof(packet);
    const int result = silk::encode(state.data(), &control, &pcm[at], control.packetSize, packet, &written);
    if (result != silk::kOk) {
      printf("   encode failed (%d): the WAV must be at 8000, 12000, 16000 or 24000 Hz\n", result);
      return false;
    }
    file.packets.emplace_back(packet, packet + written);
    total += static_cast<size_t>(written);
  }
  if (!WriteBytes(out, silk::buildSilkFile(file))) return false;
  printf("   %s: %zu packets, %.2f kbit/s (target %.2f) at %d Hz\n", out.c_str(), file.packets.size(),
         total * 8.0 / (file.packets.size() * 20.0), bitRate / 1000.0, rate);
  return true;
}

bool DecodeFile(const std::string& in, const std::string& out) {
  int rate = 24000;
  if (!Options().silkRate.empty() && !ParseNumber(Options().silkRate, "--rate", &rate)) return false;
  std::vector<uint8_t> bytes;
  silk::SilkFile file;
  std::string error;
  if (!ReadBytes(in, &bytes) || !silk::parseSilkFile(bytes, &file, &error)) {
    printf("   %s: %s\n", in.c_str(), error.empty() ? "cannot read" : error.c_str());
    return false;
  }
  int32_t size = 0;
  silk::decoderStateSize(&size);
  std::vector<uint8_t> state(static_cast<size_t>(size));
  silk::initDecoder(state.data());
  silk::DecoderControl control{rate, 0, 0, 0, 0};
  std::vector<int16_t> pcm;
  int damaged = 0;
  for (const std::vector<uint8_t>& packet : file.packets) {
    // Every frame of a packet; an empty packet is a lost one and is concealed.
    do {
      int16_t frame[silk::kMaxDecodedSamples];
      int16_t samples = 0;
      const int result = silk::decode(state.data(), &control, packet.empty(), packet.data(), static_cast<int>(packet.size()), frame, &samples);
      if (result == silk::kBadSampleRate || result == silk::kBadArgument) {
        printf("   cannot decode to %d Hz (8000..48000)\n", rate);
        return false;
      }
      pcm.insert(pcm.end(), frame, frame + samples);
      if (result != silk::kOk) {
        damaged += !packet.empty();
        break;
      }
    } while (control.moreInternalDecoderFrames && !packet.empty());
  }
  if (!WriteWav(out, pcm, rate)) return false;
  printf("   %s: %zu packets (%s framing), %.2f s at %d Hz, %d damaged packet(s) concealed\n", out.c_str(),
         file.packets.size(), file.framing == silk::FileFraming::Skype ? "Skype" : "Tencent",
         pcm.size() / static_cast<double>(rate), rate, damaged);
  return true;
}

// A spoken sentence at kDemoRate when espeak-ng and sox are installed.
std::vector<int16_t> SpokenSentence() {
  std::vector<int16_t> pcm;
  FILE* pipe = popen("espeak-ng --stdout 'Seven silk worms spin a thread of speech.' 2>/dev/null | "
                     "sox -D -t wav - -r 16000 -b 16 -c 1 -e signed-integer -t raw - 2>/dev/null", "r");
  if (!pipe) return pcm;
  int16_t block[4096];
  size_t read;
  while ((read = fread(block, sizeof(int16_t), 4096, pipe)) > 0) pcm.insert(pcm.end(), block, block + read);
  pclose(pipe);
  return pcm;
}

// A sung vowel: harmonics of 180 Hz under a slow swell, two seconds.
std::vector<int16_t> Vowel() {
  std::vector<int16_t> pcm(2 * kDemoRate);
  for (size_t i = 0; i < pcm.size(); ++i) {
    const double t = static_cast<double>(i) / kDemoRate;
    double v = 0.0;
    for (int h = 1; h <= 10; ++h) v += 2500.0 / h * sin(2.0 * M_PI * 180.0 * h * t);
    pcm[i] = static_cast<int16_t>(v * sin(M_PI * t / 2.0));
  }
  return pcm;
}

// SNR in dB at the best delay up to 10 ms.
double SnrDb(const std::vector<int16_t>& in, const std::vector<int16_t>& out) {
  double best = -1e9;
  for (size_t delay = 0; delay <= kDemoRate / 100; ++delay) {
    double signal = 0.0, noise = 0.0;
    for (size_t i = 0; i + delay < out.size() && i < in.size(); ++i) {
      signal += double(in[i]) * in[i];
      noise += (double(in[i]) - out[i + delay]) * (double(in[i]) - out[i + delay]);
    }
    best = std::max(best, 10.0 * log10(signal / (noise + 1.0)));
  }
  return best;
}

bool Demo() {
  std::vector<int16_t> input = SpokenSentence();
  const char* what = "a spoken sentence (espeak-ng)";
  if (input.size() < kDemoRate / 2) input = Vowel(), what = "a sung vowel (espeak-ng or sox not installed)";
  const size_t frame = kDemoRate / 50;
  input.resize(input.size() / frame * frame);

  IAudioRealTimeCodec* codec = kcm_createAudioRealTimeCodec(0);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kDemoRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kDemoRate * 2;
  bool ok = codec && codec->open(format, kDemoKbps) == S_OK;
  std::vector<int16_t> output;
  size_t packetBytes = 0;
  for (size_t at = 0; ok && at < input.size(); at += frame) {
    uint8_t packet[silk::kMaxPacketBytes];
    unsigned long bytes = sizeof(packet);
    int16_t pcm[silk::kMaxDecodedSamples];
    unsigned long pcmBytes = 0;
    ok = codec->encode(&input[at], static_cast<short>(frame * 2), packet, &bytes) == S_OK &&
         codec->decode(packet, static_cast<int>(bytes), pcm, &pcmBytes) == S_OK;
    packetBytes += bytes;
    output.insert(output.end(), pcm, pcm + pcmBytes / 2);
  }
  if (codec) {
    codec->close();
    codec->Ex_Release();
  }
  if (!ok) return false;
  const double seconds = static_cast<double>(input.size()) / kDemoRate;
  printf("   %s, %.2f s at %d Hz through IAudioRealTimeCodec at %d kbit/s\n", what, seconds, kDemoRate, kDemoKbps);
  printf("   %zu packets, %.2f kbit/s, SNR %.2f dB\n", input.size() / frame, packetBytes * 8.0 / seconds / 1000.0,
         SnrDb(input, output));
  return true;
}

bool SilkStep() {
  const std::vector<std::string>& arguments = Options().arguments;
  if (arguments.empty()) return Demo();
  if (arguments.size() == 3 && arguments[0] == "encode") return EncodeFile(arguments[1], arguments[2]);
  if (arguments.size() == 3 && arguments[0] == "decode") return DecodeFile(arguments[1], arguments[2]);
  printf("   usage: kcm silk [encode <in.wav> <out.silk> [--bitrate N] [--framing tencent|skype]"
         " | decode <in.silk> <out.wav> [--rate R]]\n");
  return false;
}

}  // namespace

std::vector<TourStep> SilkTour() {
  return {{"silk", "speech codec: a sentence through SILK and back, or encode/decode SILK v3 files", SilkStep, true}};
}
