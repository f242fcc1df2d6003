// silk_tool: our side of the interoperability run, on raw 16-bit mono PCM files.
//   silk_tool encode <in.s16le> <rate> <bitRate> <out.silk>
//   silk_tool decode <in.silk> <rate> <out.s16le> [--lost LIST]
// LIST names the 0-based packets to treat as lost ("10,20,30-32,60-"). Prints a one-line summary; exit 1 on any error.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "SilkCodec.h"
#include "SilkFile.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const char* path, const void* data, size_t size) {
  FILE* out = fopen(path, "wb");
  if (!out) return false;
  const bool ok = fwrite(data, 1, size, out) == size;
  return fclose(out) == 0 && ok;
}

int Fail(const std::string& message) {
  fprintf(stderr, "silk_tool: %s\n", message.c_str());
  return 1;
}

// "10,20,30-32,60-": single packets, ranges, and an open range to the end.
std::set<int> ParseLossList(const std::string& list, int packets) {
  std::set<int> lost;
  size_t at = 0;
  while (at < list.size()) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    const std::string item = list.substr(at, end - at);
    const size_t dash = item.find('-');
    const int first = atoi(item.c_str());
    const int last = dash == std::string::npos ? first : dash + 1 == item.size() ? packets - 1 : atoi(item.c_str() + dash + 1);
    for (int i = first; i <= last; ++i) lost.insert(i);
    at = end + 1;
  }
  return lost;
}

int Encode(const char* inPath, int rate, int bitRate, const char* outPath) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(inPath, &bytes)) return Fail(std::string("cannot read ") + inPath);
  const size_t packetSamples = static_cast<size_t>(rate / 50);
  std::vector<int16_t> pcm((bytes.size() / 2 + packetSamples - 1) / packetSamples * packetSamples, 0);
  memcpy(pcm.data(), bytes.data(), bytes.size() / 2 * 2);

  int32_t size = 0;
  silk::encoderStateSize(&size);
  std::vector<uint8_t> state(static_cast<size_t>(size));
  silk::EncoderControl control{};
  silk::initEncoder(state.data(), &control);
  control.API_sampleRate = control.maxInternalSampleRate = rate;
  control.packetSize = static_cast<int32_t>(packetSamples);
  control.bitRate = bitRate;
  silk::SilkFile file;
  size_t total = 0;
  for (size_t at = 0; at < pcm.size(); at += packetSamples) {
    uint8_t packet[silk::kMaxPacketBytes];
    int16_t written = sizeof(packet);
    const int result = silk::encode(state.data(), &control, &pcm[at], static_cast<int>(packetSamples), packet, &written);
    if (result != 0) return Fail("encode failed with " + std::to_string(result));
    file.packets.emplace_back(packet, packet + written);
    total += static_cast<size_t>(written);
  }
  const std::vector<uint8_t> out = silk::buildSilkFile(file);
  if (!WriteFile(outPath, out.data(), out.size())) return Fail(std::string("cannot write ") + outPath);
  printf("packets %zu bytes %zu kbps %.3f\n", file.packets.size(), total, total * 8.0 / (file.packets.size() * 20.0));
  return 0;
}

struct DecodeRun {
  std::vector<uint8_t> state;
  silk::DecoderControl control{};
  std::vector<int16_t> pcm;
  int errors = 0;

  explicit DecodeRun(int rate) {
    int32_t size = 0;
    silk::decoderStateSize(&size);
    state.resize(static_cast<size_t>(size));
    silk::initDecoder(state.data());
    control.API_sampleRate = rate;
  }
  bool Frame(const std::vector<uint8_t>& packet, bool lost) {
    int16_t out[silk::kMaxDecodedSamples];
    int16_t samples = 0;
    const int result = silk::decode(state.data(), &control, lost ? 1 : 0, packet.data(), static_cast<int>(packet.size()), out, &samples);
    if (result != 0 && !lost) ++errors;
    pcm.insert(pcm.end(), out, out + samples);
    return result == 0;
  }
  void Packet(const std::vector<uint8_t>& packet, bool lost) {
    if (lost) {
      // A lost packet stands for as many frames as the last good one had.
      const int frames = control.framesPerPacket > 0 ? control.framesPerPacket : 1;
      for (int i = 0; i < frames; ++i) Frame(packet, true);
      return;
    }
    do {
      if (!Frame(packet, false)) return;
    } while (control.moreInternalDecoderFrames);
  }
};

int Decode(int argc, char** argv) {
  const char* inPath = argv[2];
  const int rate = atoi(argv[3]);
  const char* outPath = argv[4];
  std::string lossList;
  if (argc == 7 && !strcmp(argv[5], "--lost")) lossList = argv[6];
  else if (argc != 5) return Fail("decode takes <in.silk> <rate> <out.s16le> [--lost LIST]");
  std::vector<uint8_t> bytes;
  if (!ReadFile(inPath, &bytes)) return Fail(std::string("cannot read ") + inPath);
  silk::SilkFile file;
  std::string error;
  if (!silk::parseSilkFile(bytes, &file, &error)) return Fail(error);
  const std::set<int> lost = ParseLossList(lossList, static_cast<int>(file.packets.size()));
  DecodeRun run(rate);
  for (size_t i = 0; i < file.packets.size(); ++i) run.Packet(file.packets[i], lost.count(static_cast<int>(i)) != 0);
  if (!WriteFile(outPath, run.pcm.data(), run.pcm.size() * 2)) return Fail(std::string("cannot write ") + outPath);
  printf("packets %zu samples %zu errors %d\n", file.packets.size(), run.pcm.size(), run.errors);
  return run.errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && !strcmp(argv[1], "encode")) return Encode(argv[2], atoi(argv[3]), atoi(argv[4]), argv[5]);
  if (argc >= 5 && !strcmp(argv[1], "decode")) return Decode(argc, argv);
  fprintf(stderr,
          "usage: silk_tool encode <in.s16le> <rate> <bitRate> <out.silk>\n"
          "       silk_tool decode <in.silk> <rate> <out.s16le> [--lost LIST]\n");
  return 2;
}
