// The excitation of one frame: rate level, pulse counts per 16-sample shell block,
// the binary split trees, the extra least significant bits and the signs.
#include <string.h>

#include "SilkDecoderState.h"

namespace silk {

namespace {

constexpr int kBlock = SHELL_CODEC_FRAME_LENGTH;
constexpr int kEscape = MAX_PULSES + 1;

// Splits `count` pulses into a left and a right part with the table's split CDF.
void split(RangeDecoder& decoder, int32_t* halves, int count, const uint16_t* table) {
  if (count == 0) {
    halves[0] = halves[1] = 0;
    return;
  }
  halves[0] = decoder.decode(table + shell_code_table_offsets[count], count >> 1);
  halves[1] = count - halves[0];
}

// The 16 magnitudes of one block: depth first, left before right.
void decodeShell(RangeDecoder& decoder, int32_t* q, int count) {
  int32_t eight[2], four[4], two[8];
  split(decoder, eight, count, shell_code_table3);
  for (int h = 0; h < 2; ++h) {
    split(decoder, four + 2 * h, eight[h], shell_code_table2);
    for (int f = 2 * h; f < 2 * h + 2; ++f) {
      split(decoder, two + 2 * f, four[f], shell_code_table1);
      for (int t = 2 * f; t < 2 * f + 2; ++t) split(decoder, q + 2 * t, two[t], shell_code_table0);
    }
  }
}

}  // namespace

void decodePulses(RangeDecoder& decoder, int32_t* q, int sigtype, int quantOffsetType, int frameLength) {
  const int rateLevel = decoder.decode(rate_levels_CDF[sigtype], rate_levels_CDF_offset);
  const int blocks = frameLength / kBlock;
  int32_t sums[MAX_NB_SHELL_BLOCKS];
  int32_t lsbCounts[MAX_NB_SHELL_BLOCKS];
  for (int i = 0; i < blocks; ++i) {
    lsbCounts[i] = 0;
    int count = decoder.decode(pulses_per_block_CDF[rateLevel], pulses_per_block_CDF_offset);
    // A corrupt stream cannot escape forever: errors answer 0.
    while (count == kEscape && lsbCounts[i] < 31) {
      ++lsbCounts[i];
      count = decoder.decode(pulses_per_block_CDF[N_RATE_LEVELS - 1], pulses_per_block_CDF_offset);
    }
    sums[i] = count == kEscape ? 0 : count;
  }
  for (int i = 0; i < blocks; ++i) {
    if (sums[i] > 0) {
      decodeShell(decoder, q + i * kBlock, sums[i]);
    } else {
      memset(q + i * kBlock, 0, sizeof(int32_t) * kBlock);
    }
  }
  for (int i = 0; i < blocks; ++i) {
    for (int k = 0; k < kBlock && lsbCounts[i] > 0; ++k) {
      int32_t v = q[i * kBlock + k];
      for (int j = 0; j < lsbCounts[i]; ++j) v = static_cast<int32_t>((static_cast<uint32_t>(v) << 1) + decoder.decode(lsb_CDF, 1));
      q[i * kBlock + k] = v;
    }
  }
  uint16_t signCdf[3] = {0, sign_CDF[9 * (2 * sigtype + quantOffsetType) + rateLevel], 65535};
  for (int i = 0; i < frameLength; ++i) {
    if (q[i] > 0 && decoder.decode(signCdf, 1) == 0) q[i] = -q[i];
  }
}

}  // namespace silk
