// The process-wide random generator: a built-in seeded source, replaceable by tests.
#include "random.h"

namespace {
TSeededRandom BuiltInSource;
TRandomSource* CurrentSource = &BuiltInSource;
}  // namespace

void SetRandomSource(TRandomSource* source) {
  CurrentSource = source ? source : &BuiltInSource;
}

void Randomize(uint64_t seed) {
  BuiltInSource.Seed(seed);
  CurrentSource = &BuiltInSource;
}

double Random() { return CurrentSource->NextDouble(); }

int32_t RandomInt(int32_t n) { return static_cast<int32_t>(Random() * n); }
