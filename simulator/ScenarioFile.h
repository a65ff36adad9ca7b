// The simulator DLL reads "felica-scenario.txt" beside itself, when there is one, the first
// time it is called.
#pragma once

#include "SimulatorScript.h"

constexpr wchar_t ScenarioFileName[] = L"felica-scenario.txt";

void LoadScenarioBesideModule(SimScript& script);
