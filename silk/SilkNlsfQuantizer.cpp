// Multi-stage vector quantisation of the NLSFs: a tree search keeping the best few
// paths, weighted so that errors between close NLSFs (formant peaks) cost more.
#include <algorithm>
#include <string.h>

#include "SilkEncoderAnalysis.h"
#include "SilkLpc.h"

namespace silk {

namespace {

constexpr int kSurvivors = 8;
constexpr int kMaxOrder = MAX_LPC_ORDER;
constexpr int kMaxCandidates = kSurvivors * 128;

struct Path {
  float residual[kMaxOrder];
  float rateCost;
  float cost;
  int indices[NLSF_MSVQ_MAX_CB_STAGES];
};

void laroiaWeights(const int32_t* nlsf, int order, float* weights) {
  const float floorGap = 3.0f / 32768.0f;
  for (int i = 0; i < order; ++i) {
    const float left = (nlsf[i] - (i > 0 ? nlsf[i - 1] : 0)) / 32768.0f;
    const float right = ((i + 1 < order ? nlsf[i + 1] : 32768) - nlsf[i]) / 32768.0f;
    const float w = 1.0f / std::max(left, floorGap) + 1.0f / std::max(right, floorGap);
    weights[i] = std::min(w, 512.0f);
  }
}

}  // namespace

void quantizeNlsf(const int32_t* nlsfQ15, int order, const NlsfCodebook& codebook, float speechActivity, bool voiced,
                  int* indices, int32_t* quantizedQ15) {
  float weights[kMaxOrder];
  laroiaWeights(nlsfQ15, order, weights);
  const float mu = voiced ? 0.002f - 0.001f * speechActivity : 0.005f - 0.004f * speechActivity;

  static thread_local Path paths[kSurvivors];
  static thread_local Path candidates[kMaxCandidates];
  int pathCount = 1;
  for (int i = 0; i < order; ++i) paths[0].residual[i] = nlsfQ15[i] / 32768.0f;
  paths[0].rateCost = 0.0f;
  for (int s = 0; s < codebook.nStages; ++s) {
    const NlsfStage& stage = codebook.CBStages[s];
    int count = 0;
    for (int p = 0; p < pathCount; ++p) {
      for (int v = 0; v < stage.nVectors; ++v) {
        Path& next = candidates[count++];
        const int16_t* vector = stage.CB_NLSF_Q15 + v * order;
        float error = 0.0f;
        for (int i = 0; i < order; ++i) {
          next.residual[i] = paths[p].residual[i] - vector[i] / 32768.0f;
          error += weights[i] * next.residual[i] * next.residual[i];
        }
        next.rateCost = paths[p].rateCost + mu * stage.Rates_Q5[v] / 32.0f;
        next.cost = error + next.rateCost;
        for (int i = 0; i < s; ++i) next.indices[i] = paths[p].indices[i];
        next.indices[s] = v;
      }
    }
    const int keep = std::min(count, kSurvivors);
    std::partial_sort(candidates, candidates + keep, candidates + count,
                      [](const Path& a, const Path& b) { return a.cost < b.cost; });
    std::copy(candidates, candidates + keep, paths);
    pathCount = keep;
  }
  memcpy(indices, paths[0].indices, sizeof(int) * codebook.nStages);
  // What the decoder will rebuild from these indices.
  int32_t nlsf[kMaxOrder] = {};
  for (int s = 0; s < codebook.nStages; ++s) {
    const int16_t* vector = codebook.CBStages[s].CB_NLSF_Q15 + indices[s] * order;
    for (int i = 0; i < order; ++i) nlsf[i] += vector[i];
  }
  stabilizeNlsf(nlsf, codebook.NDeltaMin_Q15, order);
  memcpy(quantizedQ15, nlsf, sizeof(int32_t) * order);
}

}  // namespace silk
