// The start-up population and the top-up rule, shared by the main window and the headless driver.
#include "population.h"

#include <memory>

#include "species.h"
#include "world.h"

TPredator* CreateStartPopulation(TEnv& env) {
  for (int i = 0; i < 251; ++i) env.AddUnit(std::make_unique<TTree>(&env));
  for (int i = 0; i < 51; ++i) env.AddUnit(std::make_unique<THerbivore>(&env));
  TPredator* last = nullptr;
  for (int i = 0; i < 21; ++i) last = env.AddUnit(std::make_unique<TPredator>(&env));
  return last;
}

void TopUpPopulation(TEnv& env) {
  if (env.CountOf<THerbivore>() < 30) env.AddUnit(std::make_unique<THerbivore>(&env));
  const int32_t herbivores = env.CountOf<THerbivore>();
  const int32_t predators = env.CountOf<TPredator>();
  if (herbivores > 7 * predators) env.AddUnit(std::make_unique<TPredator>(&env));
}
