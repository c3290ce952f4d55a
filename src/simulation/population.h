// The start-up population and the top-up rule of the main window, shared by the saver and the
// headless driver.
#pragma once

class TEnv;
class TPredator;

// 251 trees, 51 herbivores and 21 predators, each added right after its creation, in that
// order. Returns the last predator created (the one the camera follows first).
TPredator* CreateStartPopulation(TEnv& env);

// After a world step: one herbivore when there are fewer than 30, then one predator when the
// herbivores (counted again) exceed 7 per predator.
void TopUpPopulation(TEnv& env);
