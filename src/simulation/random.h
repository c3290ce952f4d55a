// The process-wide random generator of the simulation: doubles in [0, 1) and small integers.
// Every draw goes through Random()/RandomInt(), so a test can hand out scripted values and the
// headless driver can seed it; the same seed gives the same sequence with every standard library.
#pragma once

#include <cstdint>
#include <random>

class TRandomSource {
 public:
  virtual ~TRandomSource() = default;
  // A double uniform in [0, 1).
  virtual double NextDouble() = 0;
};

// The default source: a 64-bit Mersenne Twister; a double is its top 53 bits times 2^-53.
class TSeededRandom : public TRandomSource {
 public:
  explicit TSeededRandom(uint64_t seed = 1) : Engine(seed) {}
  void Seed(uint64_t seed) { Engine.seed(seed); }
  double NextDouble() override { return static_cast<double>(Engine() >> 11) * 0x1.0p-53; }

 private:
  std::mt19937_64 Engine;
};

// Replaces the process-wide source (not owned); nullptr restores the built-in seeded one.
void SetRandomSource(TRandomSource* source);
// Seeds the built-in source and makes it the current one.
void Randomize(uint64_t seed);

// A fresh draw, uniform in [0, 1).
double Random();
// A fresh draw, uniform over the integers 0 to n - 1 (n > 0); one double is drawn.
int32_t RandomInt(int32_t n);
