#include "SilkEncodeIndices.h"

#include <stdlib.h>

namespace silk {

namespace {

constexpr int kBlock = SHELL_CODEC_FRAME_LENGTH;
constexpr int kEscape = MAX_PULSES + 1;

int rateIndex(int fs_kHz) {
  for (int i = 0; i < 4; ++i) {
    if (SamplingRates_table[i] == fs_kHz) return i;
  }
  return 3;
}

void writeSplit(RangeEncoder& encoder, int left, int total, const uint16_t* table) {
  if (total > 0) encoder.encode(left, table + shell_code_table_offsets[total]);
}

// Depth first, left before right, as the decoder reads the tree.
void writeShell(RangeEncoder& encoder, const int32_t* magnitudes) {
  int two[8], four[4], eight[2];
  for (int i = 0; i < 8; ++i) two[i] = magnitudes[2 * i] + magnitudes[2 * i + 1];
  for (int i = 0; i < 4; ++i) four[i] = two[2 * i] + two[2 * i + 1];
  for (int i = 0; i < 2; ++i) eight[i] = four[2 * i] + four[2 * i + 1];
  writeSplit(encoder, eight[0], eight[0] + eight[1], shell_code_table3);
  for (int h = 0; h < 2; ++h) {
    writeSplit(encoder, four[2 * h], eight[h], shell_code_table2);
    for (int f = 2 * h; f < 2 * h + 2; ++f) {
      writeSplit(encoder, two[2 * f], four[f], shell_code_table1);
      for (int t = 2 * f; t < 2 * f + 2; ++t) writeSplit(encoder, magnitudes[2 * t], two[t], shell_code_table0);
    }
  }
}

// Halves a block's magnitudes until every level of the tree fits its table.
int shiftsNeeded(int32_t* magnitudes) {
  int shifts = 0;
  for (;;) {
    bool fits = true;
    int sum16 = 0;
    for (int i = 0; i < kBlock && fits; i += 2) fits = magnitudes[i] + magnitudes[i + 1] <= max_pulses_table[0];
    for (int i = 0; i < kBlock && fits; i += 4) {
      fits = magnitudes[i] + magnitudes[i + 1] + magnitudes[i + 2] + magnitudes[i + 3] <= max_pulses_table[1];
    }
    for (int i = 0; i < kBlock && fits; i += 8) {
      int sum8 = 0;
      for (int j = 0; j < 8; ++j) sum8 += magnitudes[i + j];
      fits = sum8 <= max_pulses_table[2];
      sum16 += sum8;
    }
    if (fits && sum16 <= max_pulses_table[3]) return shifts;
    for (int i = 0; i < kBlock; ++i) magnitudes[i] >>= 1;
    ++shifts;
  }
}

}  // namespace

void writePulses(RangeEncoder& encoder, const int32_t* pulses, int length, int sigtype, int quantOffsetType) {
  const int blocks = length / kBlock;
  int32_t magnitudes[MAX_FRAME_LENGTH];
  int shifts[MAX_NB_SHELL_BLOCKS];
  int sums[MAX_NB_SHELL_BLOCKS];
  for (int i = 0; i < length; ++i) magnitudes[i] = abs(pulses[i]);
  for (int b = 0; b < blocks; ++b) {
    shifts[b] = shiftsNeeded(magnitudes + b * kBlock);
    sums[b] = 0;
    for (int i = 0; i < kBlock; ++i) sums[b] += magnitudes[b * kBlock + i];
  }
  int rateLevel = 0;
  int bestCost = 0x7FFFFFFF;
  for (int r = 0; r < N_RATE_LEVELS - 1; ++r) {
    int cost = rate_levels_BITS_Q6[sigtype][r];
    for (int b = 0; b < blocks; ++b) cost += pulses_per_block_BITS_Q6[r][shifts[b] > 0 ? kEscape : sums[b]];
    if (cost < bestCost) {
      bestCost = cost;
      rateLevel = r;
    }
  }
  encoder.encode(rateLevel, rate_levels_CDF[sigtype]);
  for (int b = 0; b < blocks; ++b) {
    if (shifts[b] == 0) {
      encoder.encode(sums[b], pulses_per_block_CDF[rateLevel]);
      continue;
    }
    encoder.encode(kEscape, pulses_per_block_CDF[rateLevel]);
    for (int s = 1; s < shifts[b]; ++s) encoder.encode(kEscape, pulses_per_block_CDF[N_RATE_LEVELS - 1]);
    encoder.encode(sums[b], pulses_per_block_CDF[N_RATE_LEVELS - 1]);
  }
  for (int b = 0; b < blocks; ++b) {
    if (sums[b] > 0) writeShell(encoder, magnitudes + b * kBlock);
  }
  for (int b = 0; b < blocks; ++b) {
    for (int i = 0; i < kBlock && shifts[b] > 0; ++i) {
      const int32_t magnitude = abs(pulses[b * kBlock + i]);
      for (int s = shifts[b] - 1; s >= 0; --s) encoder.encode((magnitude >> s) & 1, lsb_CDF);
    }
  }
  const uint16_t signCdf[3] = {0, sign_CDF[9 * (2 * sigtype + quantOffsetType) + rateLevel], 65535};
  for (int i = 0; i < length; ++i) {
    if (pulses[i] != 0) encoder.encode(pulses[i] > 0 ? 1 : 0, signCdf);
  }
}

void writeFrame(RangeEncoder& encoder, const FrameIndices& frame, int fs_kHz, int frameInPacket, int previousTypeOffset) {
  const int typeOffset = 2 * frame.sigtype + frame.QuantOffsetType;
  if (frameInPacket == 0) {
    encoder.encode(rateIndex(fs_kHz), SamplingRates_CDF);
    encoder.encode(typeOffset, type_offset_CDF);
  } else {
    encoder.encode(typeOffset, type_offset_joint_CDF[previousTypeOffset]);
  }
  for (int k = 0; k < NB_SUBFR; ++k) {
    if (k == 0 && frame.firstGainAbsolute) {
      encoder.encode(frame.gainSymbols[0], gain_CDF[frame.sigtype]);
    } else {
      encoder.encode(frame.gainSymbols[k], delta_gain_CDF);
    }
  }
  const NlsfCodebook& codebook = fs_kHz == 8 ? (frame.sigtype == 0 ? NLSF_CB0_10 : NLSF_CB1_10)
                                             : (frame.sigtype == 0 ? NLSF_CB0_16 : NLSF_CB1_16);
  for (int s = 0; s < codebook.nStages; ++s) encoder.encode(frame.nlsfIndices[s], codebook.StartPtr[s]);
  encoder.encode(frame.nlsfInterpolation, NLSF_interpolation_factor_CDF);
  if (frame.sigtype == SIG_TYPE_VOICED) {
    const uint16_t* lagCdf = fs_kHz == 8 ? pitch_lag_NB_CDF
                             : fs_kHz == 12 ? pitch_lag_MB_CDF
                             : fs_kHz == 16 ? pitch_lag_WB_CDF
                                            : pitch_lag_SWB_CDF;
    encoder.encode(frame.lagIndex, lagCdf);
    encoder.encode(frame.contourIndex, fs_kHz == 8 ? pitch_contour_NB_CDF : pitch_contour_CDF);
    encoder.encode(frame.periodicityIndex, LTP_per_index_CDF);
    for (int k = 0; k < NB_SUBFR; ++k) encoder.encode(frame.ltpIndices[k], LTP_gain_CDF_ptrs[frame.periodicityIndex]);
    encoder.encode(frame.ltpScaleIndex, LTPscale_CDF);
  }
  encoder.encode(frame.seed, Seed_CDF);
  writePulses(encoder, frame.pulses, fs_kHz * FRAME_LENGTH_MS, frame.sigtype, frame.QuantOffsetType);
  encoder.encode(frame.vadFlag, vadflag_CDF);
}

void writeTermination(RangeEncoder& encoder, int termination) { encoder.encode(termination, FrameTermination_CDF); }

}  // namespace silk
