// The encoder: 20 ms frames, one to five frames per packet, optional in-band
// redundancy (SilkRedundancy.cpp), no DTX.
// Analysis (floating point) picks the parameters; the quantiser runs the decoder's own
// reconstruction (SilkSynthesis.h) so that encoder and decoder stay in step exactly.
#include <math.h>
#include <new>
#include <string.h>

#include "SilkCodec.h"
#include "SilkEncodeIndices.h"
#include "SilkEncoderAnalysis.h"
#include "SilkEncoderState.h"
#include "SilkLpc.h"
#include "SilkSynthesis.h"

namespace silk {

namespace {

constexpr uint32_t kEncoderMagic = 0x534B4531;  // "SKE1"
constexpr float kVoicingThreshold = 0.45f;
constexpr float kPitchWhitening = 0.9f;
constexpr int32_t kDeadZoneQ10 = 512;
// Low enough to leave the phase of voice fundamentals (~100 Hz) alone: an 80 Hz corner
// costs close to 2 dB of waveform SNR on speech; 50 Hz still removes DC and rumble.
constexpr float kHighPassHz = 50.0f;
constexpr float kShapingGamma = 0.75f;
// The finest step allowed, relative to the residual level: keeps pulses countable.
constexpr float kMinStepToRms = 1.0f / 12.0f;

struct EncoderBlock {
  uint32_t magic;
  EncoderState state;
};

int internalRate(const EncoderControl& control) {
  int rate = control.API_sampleRate < control.maxInternalSampleRate ? control.API_sampleRate : control.maxInternalSampleRate;
  const int bitRate = control.bitRate < MIN_TARGET_RATE_BPS ? MIN_TARGET_RATE_BPS : control.bitRate;
  const int byRate = bitRate < MB2NB_BITRATE_BPS ? 8000 : bitRate < WB2MB_BITRATE_BPS ? 12000 : bitRate < SWB2WB_BITRATE_BPS ? 16000 : 24000;
  return rate < byRate ? rate : byRate;
}

bool isCodecRate(int rate) { return rate == 8000 || rate == 12000 || rate == 16000 || rate == 24000; }

int checkControl(const EncoderControl* control) {
  if (!control) return kBadArgument;
  if (!isCodecRate(control->API_sampleRate) || !isCodecRate(control->maxInternalSampleRate)) return kBadSampleRate;
  const int frameSamples = control->API_sampleRate / 50;
  if (control->packetSize % frameSamples != 0 || control->packetSize / frameSamples < 1 ||
      control->packetSize / frameSamples > MAX_FRAMES_PER_PACKET) {
    return kBadInputLength;
  }
  if (control->complexity < 0 || control->complexity > 2) return kBadArgument;
  if ((control->useInBandFEC != 0 && control->useInBandFEC != 1) || control->useDTX != 0) return kBadArgument;
  if (control->packetLossPercentage < 0 || control->packetLossPercentage > 100) return kBadArgument;
  return kOk;
}

void designHighPass(EncoderState& s) {
  const double w = 2.0 * M_PI * kHighPassHz / (1000.0 * s.fs_kHz);
  const double q = M_SQRT1_2;
  const double alpha = sin(w) / (2.0 * q);
  const double a0 = 1.0 + alpha;
  s.highPassB[0] = static_cast<float>((1.0 + cos(w)) / 2.0 / a0);
  s.highPassB[1] = static_cast<float>(-(1.0 + cos(w)) / a0);
  s.highPassB[2] = s.highPassB[0];
  s.highPassA[0] = static_cast<float>(-2.0 * cos(w) / a0);
  s.highPassA[1] = static_cast<float>((1.0 - alpha) / a0);
}

// (Re)starts the stream at the rates of `control`; the decoder follows through the
// rate symbol of the next packet.
void configure(EncoderState& s, const EncoderControl& control) {
  s.settings = control;
  s.apiRate = control.API_sampleRate;
  const int rate = internalRate(control);
  if (rate / 1000 != s.fs_kHz) {
    s.fs_kHz = rate / 1000;
    s.frame = FRAME_LENGTH_MS * s.fs_kHz;
    s.sub = s.frame / NB_SUBFR;
    s.order = s.fs_kHz == 8 ? MIN_LPC_ORDER : MAX_LPC_ORDER;
    s.pendingCount = 0;
    s.framesInPacket = 0;
    memset(s.signal, 0, sizeof(s.signal));
    memset(s.residual, 0, sizeof(s.residual));
    memset(s.excitation, 0, sizeof(s.excitation));
    memset(s.highPass, 0, sizeof(s.highPass));
    s.havePrevNlsf = false;
    designHighPass(s);
    setDecoderRate(s.mirror, s.fs_kHz);
    s.gainIndex = s.mirror.LastGainIndex;
  }
  s.downsampler.init(s.apiRate, rate);
}

float highPassSample(EncoderState& s, float x) {
  // Direct form II transposed.
  const float y = s.highPassB[0] * x + s.highPass[0][0];
  s.highPass[0][0] = s.highPassB[1] * x - s.highPassA[0] * y + s.highPass[0][1];
  s.highPass[0][1] = s.highPassB[2] * x - s.highPassA[1] * y;
  return y;
}

float speechActivity(EncoderState& s, const float* x) {
  double energy = 0.0;
  for (int i = 0; i < s.frame; ++i) energy += x[i] * x[i];
  const float level = static_cast<float>(energy / s.frame) + 1.0f;
  s.noiseFloor = level < s.noiseFloor ? level : s.noiseFloor * 1.02f;
  const float snr = 10.0f * log10f(level / s.noiseFloor);
  const float activity = (snr - 3.0f) / 12.0f;
  return activity < 0 ? 0 : (activity > 1 ? 1 : activity);
}

// The step size, relative to the residual level, that the target bit rate allows.
float targetSnrDb(const EncoderState& s) {
  const int32_t* rates = s.fs_kHz == 8 ? TargetRate_table_NB : s.fs_kHz == 12 ? TargetRate_table_MB
                         : s.fs_kHz == 16 ? TargetRate_table_WB : TargetRate_table_SWB;
  const int bitRate = s.settings.bitRate < MIN_TARGET_RATE_BPS ? MIN_TARGET_RATE_BPS : s.settings.bitRate;
  for (int i = 1; i < TARGET_RATE_TAB_SZ; ++i) {
    if (bitRate <= rates[i]) {
      const float f = static_cast<float>(bitRate - rates[i - 1]) / static_cast<float>(rates[i] - rates[i - 1]);
      return (SNR_table_Q1[i - 1] + f * (SNR_table_Q1[i] - SNR_table_Q1[i - 1])) / 2.0f;
    }
  }
  return SNR_table_Q1[TARGET_RATE_TAB_SZ - 1] / 2.0f;
}

// Absolute gain indices (0..63) of the four subframes; each step from the running
// index stays within what a delta symbol can say. Only the first subframe of a packet
// is sent as an absolute index.
void quantizeGains(EncoderState& s, const float* rms, bool absoluteFirst, int* gainIndices) {
  const float snr = targetSnrDb(s) + s.snrAdjustDb;
  const float scale = sqrtf(3.0f * s.sub) * exp2f(-0.16f * snr);
  for (int k = 0; k < NB_SUBFR; ++k) {
    double gain = rms[k] * (scale > kMinStepToRms ? scale : kMinStepToRms) * 65536.0;
    gain = gain < 1.0 ? 1.0 : (gain > 2147483647.0 ? 2147483647.0 : gain);
    int index = mulw(GAIN_SCALE_Q16, lin2log(static_cast<int32_t>(gain)) - GAIN_OFFSET);
    if (index < s.gainIndex) ++index;
    if (k == 0 && absoluteFirst) {
      index = clampTo(index, 0, N_LEVELS_QGAIN - 1);
      if (index < s.gainIndex - 4) index = s.gainIndex - 4;
    } else {
      const int low = -4 > -s.gainIndex ? -4 : -s.gainIndex;
      const int high = MAX_DELTA_GAIN_QUANT < N_LEVELS_QGAIN - 1 - s.gainIndex ? MAX_DELTA_GAIN_QUANT : N_LEVELS_QGAIN - 1 - s.gainIndex;
      index = s.gainIndex + clampTo(index - s.gainIndex, low, high);
    }
    s.gainIndex = index;
    gainIndices[k] = index;
  }
}

}  // namespace

void setGains(const int* gainIndices, int previous, bool absoluteFirst, FrameIndices& indices, int32_t* gainsQ16) {
  indices.firstGainAbsolute = absoluteFirst ? 1 : 0;
  for (int k = 0; k < NB_SUBFR; ++k) {
    indices.gainSymbols[k] = k == 0 && absoluteFirst ? gainIndices[k] : gainIndices[k] - previous - MIN_DELTA_GAIN_QUANT;
    previous = gainIndices[k];
    const int32_t level = mulw(GAIN_INV_SCALE_Q16, previous) + GAIN_OFFSET;
    gainsQ16[k] = log2lin(level < 3967 ? level : 3967);
  }
}

namespace {

// Chooses each excitation value with a dead zone, seen through the decoder's dither.
// The coding noise is fed back through A(z/gamma), so that it follows the spectral
// envelope instead of being white: the excitation then stays close to the LPC residual.
struct NoiseShapingQuantizer {
  const int32_t* target;  // input scaled by 1/gain, Q10
  int32_t* pulses;
  int32_t seed;
  int32_t offset;
  int sub;
  int order;
  const int32_t* gainsQ16;
  float shaping[2][MAX_LPC_ORDER];  // a_j gamma^(j+1), per frame half
  float noise[MAX_LPC_ORDER + MAX_FRAME_LENGTH];  // output minus input, in sample units

  int32_t excitation(int n, int32_t ltp, int32_t lpc) {
    const int k = n / sub;
    const float toQ10 = 67108864.0f / static_cast<float>(gainsQ16[k]);
    const float* past = noise + MAX_LPC_ORDER + n;
    float feedback = 0.0f;
    for (int j = 0; j < order; ++j) feedback += shaping[k >> 1][j] * past[-1 - j];
    const int32_t wanted = sub32(sub32(target[n], lpc), ltp);
    int32_t r = static_cast<int32_t>(clampTo(wanted + feedback * toQ10, -1.0e9f, 1.0e9f));
    seed = nextRandom(seed);
    const bool flipped = seed < 0;
    if (flipped) r = -r;
    r = clampTo<int32_t>(r - offset, -65536, 65536);
    const int32_t half = kDeadZoneQ10 / 2;
    int32_t q;
    if (r < -1536 - half) {
      q = rround(r + half, 10);
    } else if (r < -512 - half + offset * kDeadZoneQ10 / 1024) {
      q = -1;
    } else if (r <= 512 + half) {
      q = 0;
    } else {
      q = rround(r - half, 10);
    }
    pulses[n] = q;
    int32_t e = shl32(q, 10) + offset;
    if (flipped) e = -e;
    seed = add32(seed, q);
    noise[MAX_LPC_ORDER + n] = static_cast<float>(e - wanted) / toQ10;
    return e;
  }
};

struct Analysis {
  float activity;
  PitchResult pitch;
  int16_t A_Q12[MAX_LPC_ORDER];
  int32_t nlsf[MAX_LPC_ORDER];
};

Analysis analyzeFrame(EncoderState& s, FrameIndices& indices) {
  Analysis result{};
  float* x = s.signal + kHistory;
  result.activity = speechActivity(s, x);
  float a[MAX_LPC_ORDER];
  const int window = s.frame + s.frame / 2;
  analyzeLpc(x + s.frame - window, window, s.order, a);
  int32_t nlsf[MAX_LPC_ORDER];
  if (!lpcToNlsf(a, s.order, nlsf)) {
    if (s.havePrevNlsf) {
      memcpy(nlsf, s.prevNlsf, sizeof(nlsf));
    } else {
      for (int i = 0; i < s.order; ++i) nlsf[i] = (i + 1) * 32768 / (s.order + 1);
    }
  }
  // The pitch search sees a partly whitened signal: more periodic than the full residual.
  float partial[MAX_LPC_ORDER];
  float gamma = kPitchWhitening;
  for (int j = 0; j < s.order; ++j, gamma *= kPitchWhitening) partial[j] = a[j] * gamma;
  lpcResidual(x, s.frame, partial, s.order, s.residual + kHistory);
  result.pitch = analyzePitch(s.residual + kHistory, s.fs_kHz, s.frame, kVoicingThreshold);
  result.pitch.voiced = result.pitch.voiced && result.activity >= 0.1f;
  indices.sigtype = result.pitch.voiced ? SIG_TYPE_VOICED : SIG_TYPE_UNVOICED;
  indices.QuantOffsetType = result.pitch.voiced ? 0 : 1;
  indices.vadFlag = result.activity >= 0.1f ? 1 : 0;
  const NlsfCodebook& codebook = *s.mirror.nlsfCodebook[indices.sigtype];
  quantizeNlsf(nlsf, s.order, codebook, result.activity, result.pitch.voiced, indices.nlsfIndices, result.nlsf);
  memcpy(s.prevNlsf, nlsf, sizeof(nlsf));
  s.havePrevNlsf = true;
  nlsfToLpcStable(result.A_Q12, result.nlsf, s.order);
  return result;
}

}  // namespace

void quantizeFrame(EncoderState& s, DecoderState& mirror, float* noise, const FrameControl& control,
                   const int16_t* filtered, const int32_t* nlsfQ15, int32_t* pulses) {
  int32_t target[MAX_FRAME_LENGTH];
  for (int k = 0; k < NB_SUBFR; ++k) {
    for (int n = k * s.sub; n < (k + 1) * s.sub; ++n) {
      target[n] = static_cast<int32_t>((static_cast<int64_t>(filtered[n]) * 67108864) / control.Gains_Q16[k]);
    }
  }
  NoiseShapingQuantizer quantizer{};
  quantizer.target = target;
  quantizer.pulses = pulses;
  quantizer.seed = control.Seed;
  quantizer.offset = Quantization_Offsets_Q10[control.sigtype][control.QuantOffsetType];
  quantizer.sub = s.sub;
  quantizer.order = s.order;
  quantizer.gainsQ16 = control.Gains_Q16;
  for (int h = 0; h < 2; ++h) {
    float gamma = kShapingGamma;
    for (int j = 0; j < s.order; ++j, gamma *= kShapingGamma) {
      quantizer.shaping[h][j] = control.PredCoef_Q12[h][j] / 4096.0f * gamma;
    }
  }
  memcpy(quantizer.noise, noise, sizeof(float) * MAX_LPC_ORDER);
  int16_t decoded[MAX_FRAME_LENGTH];
  synthesizeFrame(mirror, control, decoded, quantizer);
  memcpy(mirror.outBuf, decoded, sizeof(int16_t) * s.frame);
  memcpy(noise, quantizer.noise + s.frame, sizeof(float) * MAX_LPC_ORDER);
  memcpy(mirror.prevNLSF_Q15, nlsfQ15, sizeof(int32_t) * MAX_LPC_ORDER);
  mirror.first_frame_after_reset = 0;
}

namespace {


void encodeFrame(EncoderState& s, const int16_t* input, bool lastInPacket) {
  float* x = s.signal + kHistory;
  memmove(s.signal, s.signal + s.frame, sizeof(float) * kHistory);
  memmove(s.residual, s.residual + s.frame, sizeof(float) * kHistory);
  memmove(s.excitation, s.excitation + s.frame, sizeof(float) * kHistory);
  int16_t filtered[MAX_FRAME_LENGTH];
  for (int i = 0; i < s.frame; ++i) {
    x[i] = highPassSample(s, input[i]);
    filtered[i] = static_cast<int16_t>(sat16(static_cast<int32_t>(lrintf(x[i]))));
  }
  if (s.framesInPacket == 0) {
    s.rangeEncoder.init();
    s.redundancy.active = s.settings.useInBandFEC != 0;
  }
  FrameIndices& indices = s.indices;
  const Analysis analysis = analyzeFrame(s, indices);

  FrameControl control;
  memset(&control, 0, sizeof(control));
  control.sigtype = indices.sigtype;
  control.QuantOffsetType = indices.QuantOffsetType;
  control.NLSFInterpCoef_Q2 = 4;
  indices.nlsfInterpolation = 4;
  memcpy(control.PredCoef_Q12[0], analysis.A_Q12, sizeof(analysis.A_Q12));
  memcpy(control.PredCoef_Q12[1], analysis.A_Q12, sizeof(analysis.A_Q12));

  // Residual of the quantised filter, then of the pitch predictor: the gains follow it.
  // The decoder's pitch predictor runs on this residual, so its taps are fitted to it.
  float a[MAX_LPC_ORDER];
  for (int j = 0; j < s.order; ++j) a[j] = analysis.A_Q12[j] / 4096.0f;
  float* residual = s.excitation + kHistory;
  lpcResidual(x, s.frame, a, s.order, residual);
  float rms[NB_SUBFR];
  if (indices.sigtype == SIG_TYPE_VOICED) {
    const float mu = 0.03f - 0.014f * (s.fs_kHz - 8) / 16.0f;
    const LtpResult ltp = quantizeLtp(residual, analysis.pitch.lags, s.sub, mu);
    indices.lagIndex = analysis.pitch.lagIndex;
    indices.contourIndex = analysis.pitch.contourIndex;
    indices.periodicityIndex = ltp.periodicityIndex;
    memcpy(indices.ltpIndices, ltp.indices, sizeof(ltp.indices));
    indices.ltpScaleIndex = 0;
    memcpy(control.LTPCoef_Q14, ltp.taps, sizeof(ltp.taps));
    memcpy(control.pitchL, analysis.pitch.lags, sizeof(control.pitchL));
    control.LTP_scale_Q14 = LTPScales_table_Q14[0];
    for (int k = 0; k < NB_SUBFR; ++k) {
      double energy = 0.0;
      for (int n = k * s.sub; n < (k + 1) * s.sub; ++n) {
        float prediction = 0.0f;
        for (int i = 0; i < LTP_ORDER; ++i) {
          prediction += ltp.taps[k * LTP_ORDER + i] / 16384.0f * residual[n - control.pitchL[k] + 2 - i];
        }
        const float e = residual[n] - prediction;
        energy += e * e;
      }
      rms[k] = static_cast<float>(sqrt(energy / s.sub));
    }
  } else {
    for (int k = 0; k < NB_SUBFR; ++k) {
      double energy = 0.0;
      for (int n = k * s.sub; n < (k + 1) * s.sub; ++n) energy += residual[n] * residual[n];
      rms[k] = static_cast<float>(sqrt(energy / s.sub));
    }
  }
  const bool firstInPacket = s.framesInPacket == 0;
  const int previousGainIndex = s.gainIndex;
  int gainIndices[NB_SUBFR];
  quantizeGains(s, rms, firstInPacket, gainIndices);
  setGains(gainIndices, previousGainIndex, firstInPacket, indices, control.Gains_Q16);
  indices.seed = s.frameCounter & 3;
  control.Seed = indices.seed;

  if (s.redundancy.active) encodeRedundantFrame(s, indices, control, filtered, analysis.nlsf, gainIndices, lastInPacket);
  quantizeFrame(s, s.mirror, s.noise, control, filtered, analysis.nlsf, indices.pulses);
  s.mirror.LastGainIndex = s.gainIndex;

  writeFrame(s.rangeEncoder, indices, s.fs_kHz, s.framesInPacket, s.typeOffsetPrev);
  if (!lastInPacket) writeTermination(s.rangeEncoder, SKP_SILK_MORE_FRAMES);
  s.typeOffsetPrev = 2 * indices.sigtype + indices.QuantOffsetType;
  ++s.framesInPacket;
  ++s.frameCounter;
}

// Steers the step size so that the average rate, redundancy included, meets the target.
void controlRate(EncoderState& s, int bytes, int frames) {
  const int bitRate = s.settings.bitRate < MIN_TARGET_RATE_BPS ? MIN_TARGET_RATE_BPS
                      : s.settings.bitRate > MAX_TARGET_RATE_BPS ? MAX_TARGET_RATE_BPS : s.settings.bitRate;
  const float targetBits = bitRate * FRAME_LENGTH_MS * frames / 1000.0f;
  const float ratio = (8.0f * bytes + 8.0f) / (targetBits + 8.0f);
  float step = -1.5f * log2f(ratio);
  step = step > 1.0f ? 1.0f : (step < -1.0f ? -1.0f : step);
  s.snrAdjustDb = clampTo(s.snrAdjustDb + step, -30.0f, 30.0f);
}

// Ends the packet, with the previous packet's redundancy behind it when there is room,
// and keeps this packet's redundancy for the next one. Answers the size or an error.
int finishPacket(EncoderState& s, uint8_t* packet, int room) {
  const Redundancy& r = s.redundancy;
  const bool carry = redundancyFits(s, room < kMaxPacketBytes ? room : kMaxPacketBytes);
  writeTermination(s.rangeEncoder, carry ? SKP_SILK_LBRR_VER1 : SKP_SILK_LAST_FRAME);
  const int frames = s.framesInPacket;
  s.framesInPacket = 0;
  const int bytes = s.rangeEncoder.finish();
  const int extra = carry ? r.previousBytes : 0;
  int result = kOutputFull;
  if (bytes >= 0) {
    controlRate(s, bytes + extra, frames);
    if (bytes + extra <= room) {
      memcpy(packet, s.rangeEncoder.data(), static_cast<size_t>(bytes));
      if (carry) memcpy(packet + bytes, r.previous, static_cast<size_t>(extra));
      result = bytes + extra;
    }
  }
  keepRedundancy(s);
  return result;
}

EncoderState* encoderOf(void* block) {
  auto* encoder = static_cast<EncoderBlock*>(block);
  return encoder && encoder->magic == kEncoderMagic ? &encoder->state : nullptr;
}

}  // namespace

int encoderStateSize(int32_t* bytes) {
  if (!bytes) return kBadArgument;
  *bytes = static_cast<int32_t>(sizeof(EncoderBlock));
  return kOk;
}

int initEncoder(void* block, EncoderControl* control) {
  if (!block || !control) return kBadArgument;
  auto* encoder = new (block) EncoderBlock();
  encoder->magic = kEncoderMagic;
  EncoderState& s = encoder->state;
  setDecoderRate(s.mirror, 24);
  s.mirror.prev_inv_gain_Q16 = 65536;
  s.mirror.first_frame_after_reset = 1;
  s.noiseFloor = 1e9f;
  *control = EncoderControl{24000, 24000, 480, 25000, 0, 2, 0, 0};
  return kOk;
}

int encode(void* block, const EncoderControl* control, const int16_t* pcm, int sampleCount, uint8_t* packet,
           int16_t* packetBytes) {
  EncoderState* encoder = encoderOf(block);
  if (!encoder || !pcm || !packet || !packetBytes) return kBadArgument;
  const int checked = checkControl(control);
  if (checked != kOk) return checked;
  EncoderState& s = *encoder;
  const int block10ms = control->API_sampleRate / 100;
  if (sampleCount <= 0 || sampleCount % block10ms != 0 || sampleCount > control->packetSize) return kBadInputLength;
  if (memcmp(&s.settings, control, sizeof(EncoderControl)) != 0) configure(s, *control);

  const int room = static_cast<uint16_t>(*packetBytes);
  *packetBytes = 0;
  const int internalBlock = s.fs_kHz * 10;
  for (int offset = 0; offset < sampleCount; offset += block10ms) {
    int16_t converted[MAX_FRAME_LENGTH + 8];
    s.downsampler.process(converted, pcm + offset, block10ms);
    memcpy(s.pending + s.pendingCount, converted, sizeof(int16_t) * internalBlock);
    s.pendingCount += internalBlock;
    if (s.pendingCount < s.frame) continue;
    s.pendingCount = 0;
    const bool last = s.framesInPacket + 1 >= control->packetSize / (control->API_sampleRate / 50);
    encodeFrame(s, s.pending, last);
    if (!last) continue;
    const int bytes = finishPacket(s, packet, room);
    if (bytes < 0) return bytes;
    *packetBytes = static_cast<int16_t>(bytes);
  }
  return kOk;
}

}  // namespace silk
