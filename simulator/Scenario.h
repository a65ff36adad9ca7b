// Scenario files: what the simulated reader does, in a small text format.
//
//   # a comment; blank lines are ignored
//   card yes|no            a card answers the poll, or none does
//   idm  01 2E 4C 7A 9B 3D 11 08
//   block 00 00 21 60 01 23 45 67 89 01      up to 16 bytes of block 0, the rest zero
//   status 0               status flag 1 after the block read (nonzero: not read)
//   fail <step> <code>     the step returns 0 and the last error becomes code;
//                          steps: initialize open poll read close dispose
#pragma once

#include <string>

#include "SimulatorScript.h"

// Starts from the default script (one EDY card) and applies the scenario's lines. Gives
// false and a message naming the line for anything it does not understand.
bool ParseScenario(const std::string& text, SimScript& script, std::string& error);
