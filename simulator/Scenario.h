// Scenario files: what the simulated reader does, in a small text format.
//
//   # a comment; blank lines are ignored
//   card yes|no|<count>    a card answers the poll, none does, or that many do (0 to 255)
//   idm  01 2E 4C 7A 9B 3D 11 08
//   pmm  03 01 4B 02 4F 49 93 FF
//   block 00 00 21 60 01 23 45 67 89 01      up to 16 bytes of block 0, the rest zero
//   status 0               status flag 1 after the block read (nonzero: not read)
//   status2 0              status flag 2 after the block read
//   fail <call> <code>     the call returns 0 and the last error becomes code
//   result <call> <n>      the call returns n (0 to 4294967295)
//   silent poll|read|lasterror    the call writes none of its outputs
//   step                   ends this step; the next read follows the next one
//
// The calls: initialize open poll read close dispose lasterror. Each step starts from the
// default script (one EDY card), the first as well. A read begins with initialize_library
// and takes the next step; once the steps run out, the last one repeats.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "SimulatorScript.h"

// A scenario file's words for the calls, in SimEntryPoint order.
constexpr const char* ScenarioCallNames[SimEntryPointCount] = {"initialize", "dispose", "open", "close",
                                                               "poll",       "read",    "lasterror"};

// No more steps than a long support session needs: a file cannot make the simulator hold
// more than this, whatever its size.
constexpr size_t MaxScenarioSteps = 10000;

// The scenario's steps, at least one. Gives false and a message naming the line for anything
// it does not understand, steps left as they were.
bool ParseScenario(const std::string& text, std::vector<SimScript>& steps, std::string& error);
