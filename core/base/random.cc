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
  for (int k = 0; k < kN; ++k) {
    const uint32_t y = (state_[k] & kUpper) | (state_[(k + 1) % kN] & kLower);
    state_[k] = state_[(k + kM) % kN] ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
  }
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
