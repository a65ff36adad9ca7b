// The simulator DLL reads "felica-scenario.txt" beside itself, when there is one, the first
// time it is called.
#pragma once

#include <vector>

#include "SimulatorScript.h"

constexpr wchar_t ScenarioFileName[] = L"felica-scenario.txt";

// Replaces steps with the file's when it is there and understood.
void LoadScenarioBesideModule(std::vector<SimScript>& steps);
