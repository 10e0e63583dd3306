#include "core/base/random.h"

namespace syv {

void MersenneTwister::seed_(uint32_t s) {
  state_[0] = s;
  for (int k = 1; k < kN; ++k) state_[k] = 69069u * state_[k - 1];  // wraps modulo 2^32
  position_ = kN;
}

void MersenneTwister::twist() {
  constexpr int kM = 397;
  constexpr uint32_t kMatrix = 0x9908b0dfu, kUpper = 0x80000000u, kLower = 0x7fffffffu;
  auto mix = [&](int k, int next, int far) {
    const uint32_t y = (state_[k] & kUpper) | (state_[next] & kLower);
    state_[k] = state_[far] ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
  };
  // The same steps in the same order as indices taken modulo kN, without the
  // divisions: the far index wraps at kN - kM, the next one at the last word.
  int k = 0;
  for (; k < kN - kM; ++k) mix(k, k + 1, k + kM);
  for (; k < kN - 1; ++k) mix(k, k + 1, k + kM - kN);
  mix(kN - 1, 0, kM - 1);
  position_ = 0;
}

uint32_t MersenneTwister::nextWord() {
  if (position_ >= kN) {
    if (position_ == kN + 1) seed_(kDefaultSeed);
    twist();
  }
  uint32_t y = state_[position_++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

MersenneTwister& sharedRandom() {
  static MersenneTwister generator(MersenneTwister::kDefaultSeed);
  return generator;
}

}  // namespace syv
