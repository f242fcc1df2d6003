// silk_tool: our side of the interoperability run, on raw 16-bit mono PCM files.
//   silk_tool encode <in.s16le> <rate> <bitRate> <out.silk> [--packet MS] [--fec LOSS%]
//   silk_tool decode <in.silk> <rate> <out.s16le> [--lost LIST] [--fec] [--empty] [--tail FRAMES]
//   silk_tool receive <in.silk> <out.silk> --lost LIST
// --packet: 20..100 ms packets; --fec: in-band redundancy tuned for LOSS% loss.
// LIST names the 0-based packets to treat as lost ("10,20,30-32,60-"); zero-length
// packets in the file count as lost too. --fec: a lost packet is decoded from the
// redundancy a later packet carries, when there is any. --empty: a lost packet is handed
// to the decoder as an empty payload (one damaged frame) instead of being flagged as
// lost (framesPerPacket concealed frames), as silk-wasm does. --tail: frames decoded
// after the last packet from a damaged payload of zero bytes, as silk-wasm appends them.
// receive: the file a receiver's decoder gets after replacing lost packets by their
// redundant copies. Prints a one-line summary; exit 1 on any error.
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

bool LoadSilkFile(const char* path, silk::SilkFile* file, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, &bytes)) {
    *error = std::string("cannot read ") + path;
    return false;
  }
  return silk::parseSilkFile(bytes, file, error);
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

struct EncodeOptions {
  int frames = 1;      // 20 ms frames per packet
  int fec = 0;         // in-band redundancy
  int lossPercent = 0;
};

int Encode(const char* inPath, int rate, int bitRate, const char* outPath, const EncodeOptions& options) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(inPath, &bytes)) return Fail(std::string("cannot read ") + inPath);
  const size_t packetSamples = static_cast<size_t>(rate / 50 * options.frames);
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
  control.useInBandFEC = options.fec;
  control.packetLossPercentage = options.lossPercent;
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
  printf("packets %zu bytes %zu kbps %.3f\n", file.packets.size(), total,
         total * 8.0 / (file.packets.size() * 20.0 * options.frames));
  return 0;
}

// As the SDK's decoder program does for a lost packet: the next packets that arrived
// (1 or 2 later) may carry a redundant copy of it. Empty when none does.
std::vector<uint8_t> FindRedundancy(const silk::SilkFile& file, const std::set<int>& lost, size_t index) {
  for (int offset = 1; offset <= 2 && index + offset < file.packets.size(); ++offset) {
    const std::vector<uint8_t>& later = file.packets[index + offset];
    if (lost.count(static_cast<int>(index + offset)) || later.empty()) continue;
    uint8_t copy[silk::kMaxPacketBytes];
    int16_t bytes = 0;
    silk::searchForLbrr(later.data(), static_cast<int>(later.size()), offset, copy, &bytes);
    if (bytes > 0) return std::vector<uint8_t>(copy, copy + bytes);
  }
  return {};
}

bool IsLost(const silk::SilkFile& file, const std::set<int>& lost, size_t index) {
  return lost.count(static_cast<int>(index)) != 0 || file.packets[index].empty();
}

struct DecodeRun {
  std::vector<uint8_t> state;
  silk::DecoderControl control{};
  std::vector<int16_t> pcm;
  int errors = 0;
  int recovered = 0;  // lost packets decoded from a later packet's redundancy

  explicit DecodeRun(int rate) {
    int32_t size = 0;
    silk::decoderStateSize(&size);
    state.resize(static_cast<size_t>(size));
    silk::initDecoder(state.data());
    control.API_sampleRate = rate;
  }
  int Frame(const uint8_t* packet, int bytes, bool lost) {
    int16_t out[silk::kMaxDecodedSamples];
    int16_t samples = 0;
    const int result = silk::decode(state.data(), &control, lost ? 1 : 0, packet, bytes, out, &samples);
    pcm.insert(pcm.end(), out, out + samples);
    return result;
  }
  void Packet(const uint8_t* packet, int bytes) {
    do {
      if (Frame(packet, bytes, false) != 0) {
        ++errors;
        return;
      }
    } while (control.moreInternalDecoderFrames);
  }
  void Lost() {
    // A lost packet stands for as many frames as the last good one had.
    const int frames = control.framesPerPacket > 0 ? control.framesPerPacket : 1;
    for (int i = 0; i < frames; ++i) Frame(nullptr, 0, true);
  }
};

int Decode(int argc, char** argv) {
  const char* inPath = argv[2];
  const int rate = atoi(argv[3]);
  const char* outPath = argv[4];
  std::string lossList;
  bool fec = false;
  bool empty = false;
  int tailFrames = 0;
  for (int i = 5; i < argc; ++i) {
    if (!strcmp(argv[i], "--lost") && i + 1 < argc) lossList = argv[++i];
    else if (!strcmp(argv[i], "--fec")) fec = true;
    else if (!strcmp(argv[i], "--empty")) empty = true;
    else if (!strcmp(argv[i], "--tail") && i + 1 < argc) tailFrames = atoi(argv[++i]);
    else return Fail("unknown decode option " + std::string(argv[i]));
  }
  silk::SilkFile file;
  std::string error;
  if (!LoadSilkFile(inPath, &file, &error)) return Fail(error);
  const std::set<int> lost = ParseLossList(lossList, static_cast<int>(file.packets.size()));
  DecodeRun run(rate);
  for (size_t i = 0; i < file.packets.size(); ++i) {
    const std::vector<uint8_t>& packet = file.packets[i];
    const std::vector<uint8_t> copy = IsLost(file, lost, i) && fec ? FindRedundancy(file, lost, i) : std::vector<uint8_t>();
    if (!IsLost(file, lost, i)) {
      run.Packet(packet.data(), static_cast<int>(packet.size()));
    } else if (!copy.empty()) {
      run.Packet(copy.data(), static_cast<int>(copy.size()));
      ++run.recovered;
    } else if (empty) {
      run.Frame(nullptr, 0, false);
    } else {
      run.Lost();
    }
  }
  // silk-wasm ends its output with frames decoded from a damaged payload that starts
  // with zero bytes: four zero bytes, too short for any frame, give the same.
  const uint8_t zeros[4] = {};
  for (int i = 0; i < tailFrames; ++i) run.Frame(zeros, sizeof(zeros), false);
  if (!WriteFile(outPath, run.pcm.data(), run.pcm.size() * 2)) return Fail(std::string("cannot write ") + outPath);
  printf("packets %zu samples %zu errors %d recovered %d\n", file.packets.size(), run.pcm.size(), run.errors, run.recovered);
  return run.errors == 0 ? 0 : 1;
}

}  // namespace

// The packets a receiver with redundancy decoding hands its decoder, as a file: a lost
// packet becomes its redundant copy from a later packet, or stays empty (concealed).
int Receive(const char* inPath, const char* outPath, const std::string& lossList) {
  silk::SilkFile file;
  std::string error;
  if (!LoadSilkFile(inPath, &file, &error)) return Fail(error);
  const std::set<int> lost = ParseLossList(lossList, static_cast<int>(file.packets.size()));
  silk::SilkFile received = file;
  int recovered = 0;
  for (size_t i = 0; i < file.packets.size(); ++i) {
    if (!IsLost(file, lost, i)) continue;
    received.packets[i] = FindRedundancy(file, lost, i);
    recovered += received.packets[i].empty() ? 0 : 1;
  }
  const std::vector<uint8_t> out = silk::buildSilkFile(received);
  if (!WriteFile(outPath, out.data(), out.size())) return Fail(std::string("cannot write ") + outPath);
  printf("packets %zu lost %zu recovered %d\n", file.packets.size(), lost.size(), recovered);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 6 && !strcmp(argv[1], "encode")) {
    EncodeOptions options;
    for (int i = 6; i < argc; ++i) {
      if (!strcmp(argv[i], "--packet") && i + 1 < argc) options.frames = atoi(argv[++i]) / 20;
      else if (!strcmp(argv[i], "--fec") && i + 1 < argc) options.fec = 1, options.lossPercent = atoi(argv[++i]);
      else return Fail("unknown encode option " + std::string(argv[i]));
    }
    return Encode(argv[2], atoi(argv[3]), atoi(argv[4]), argv[5], options);
  }
  if (argc >= 5 && !strcmp(argv[1], "decode")) return Decode(argc, argv);
  if (argc == 6 && !strcmp(argv[1], "receive") && !strcmp(argv[4], "--lost")) return Receive(argv[2], argv[3], argv[5]);
  fprintf(stderr,
          "usage: silk_tool encode <in.s16le> <rate> <bitRate> <out.silk> [--packet MS] [--fec LOSS%%]\n"
          "       silk_tool decode <in.silk> <rate> <out.s16le> [--lost LIST] [--fec] [--empty] [--tail FRAMES]\n"
          "       silk_tool receive <in.silk> <out.silk> --lost LIST\n");
  return 2;
}
