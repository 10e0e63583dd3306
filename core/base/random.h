// The random generator behind the rnd and rndabs expression functions.
#pragma once

#include <cstdint>

namespace syv {

// MT19937 in its original (1998) form, seeded by the factor 69069 rather than
// by the later initialisation, so that random plants match the files' maker.
class MersenneTwister {
 public:
  static constexpr uint32_t kDefaultSeed = 4357;

  // Unseeded: the first draw seeds with kDefaultSeed.
  MersenneTwister() = default;
  explicit MersenneTwister(uint32_t seed) { seed_(seed); }

  void seed(uint32_t s) { seed_(s); }
  // Next tempered 32-bit word.
  uint32_t nextWord();
  // Next word divided by 2^32 - 1: a real in [0, 1], both ends possible.
  double nextReal() { return nextWord() * 2.3283064370807974e-10; }

 private:
  static constexpr int kN = 624;
  void seed_(uint32_t s);
  void twist();

  uint32_t state_[kN] = {};
  int position_ = kN + 1;
};

// The one process-wide generator, seeded with 4357 when first used and never
// reseeded by the system: later imports continue its sequence. Not thread-safe.
MersenneTwister& sharedRandom();

}  // namespace syv
