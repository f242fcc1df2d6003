// Multi-stage vector quantisation of the NLSFs: a tree search keeping the best few
// paths, weighted so that errors between close NLSFs (formant peaks) cost more.
#include <string.h>

#include <algorithm>

#include "SilkEncoderAnalysis.h"
#include "SilkLpc.h"

namespace silk {

namespace {

constexpr int kSurvivors = 8;
constexpr int kMaxOrder = MAX_LPC_ORDER;

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

// The cheapest paths offered, cheapest first (of equal costs, the one offered first).
// Keeping only these as candidates stream past takes a few hundred bytes of stack, where
// holding every candidate of a stage would take over a hundred kilobytes.
class Survivors {
 public:
  void offer(const Path& path) {
    if (count_ == kSurvivors && !(path.cost < paths_[kSurvivors - 1].cost)) return;
    int at = count_ < kSurvivors ? count_++ : kSurvivors - 1;
    for (; at > 0 && path.cost < paths_[at - 1].cost; --at) paths_[at] = paths_[at - 1];
    paths_[at] = path;
  }
  int count() const { return count_; }
  const Path& operator[](int index) const { return paths_[index]; }

 private:
  Path paths_[kSurvivors];
  int count_ = 0;
};

}  // namespace

void quantizeNlsf(const int32_t* nlsfQ15, int order, const NlsfCodebook& codebook, float speechActivity, bool voiced,
                  int* indices, int32_t* quantizedQ15) {
  float weights[kMaxOrder];
  laroiaWeights(nlsfQ15, order, weights);
  const float mu = voiced ? 0.002f - 0.001f * speechActivity : 0.005f - 0.004f * speechActivity;

  Survivors paths;
  Path start{};
  for (int i = 0; i < order; ++i) start.residual[i] = nlsfQ15[i] / 32768.0f;
  start.rateCost = 0.0f;
  start.cost = 0.0f;
  paths.offer(start);
  for (int s = 0; s < codebook.nStages; ++s) {
    const NlsfStage& stage = codebook.CBStages[s];
    Survivors next;
    for (int p = 0; p < paths.count(); ++p) {
      for (int v = 0; v < stage.nVectors; ++v) {
        Path candidate;
        const int16_t* vector = stage.CB_NLSF_Q15 + v * order;
        float error = 0.0f;
        for (int i = 0; i < order; ++i) {
          candidate.residual[i] = paths[p].residual[i] - vector[i] / 32768.0f;
          error += weights[i] * candidate.residual[i] * candidate.residual[i];
        }
        candidate.rateCost = paths[p].rateCost + mu * stage.Rates_Q5[v] / 32.0f;
        candidate.cost = error + candidate.rateCost;
        for (int i = 0; i < s; ++i) candidate.indices[i] = paths[p].indices[i];
        candidate.indices[s] = v;
        next.offer(candidate);
      }
    }
    paths = next;
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
