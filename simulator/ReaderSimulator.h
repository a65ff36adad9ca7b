// A stand-in for the FeliCa reader library behind the same seven entry points,
// driven by a SimScript and recording the latest calls it receives.
#pragma once

#include <vector>

#include "../reader/ReaderEntryPoints.h"
#include "SimulatorScript.h"

extern "C" {
ReaderResult READER_CALL initialize_library();
ReaderResult READER_CALL dispose_library();
ReaderResult READER_CALL open_reader_writer_auto();
ReaderResult READER_CALL close_reader_writer();
ReaderResult READER_CALL polling_and_get_card_information(TPolling_Param* polling, uint8_t* number_of_cards,
                                                          TCard_Info* card_info);
ReaderResult READER_CALL read_block_without_encryption(TRead_Param* read, TRead_Result* result);
ReaderResult READER_CALL get_last_error_type(int32_t* error_code);
}

// The script a fresh simulator follows: one EDY card, every step succeeding.
SimScript DefaultSimulatorScript();

// Makes the simulator follow these steps, as a scenario file's: the next initialize_library
// takes the first, each one after it the next, and the last repeats. sim_reset and
// sim_set_script make a sequence of one step. No steps: the default script.
void SimulatorFollowSteps(const std::vector<SimScript>& steps);

// The simulator's entry points as a binding gives them.
ReaderEntryPoints SimulatorEntryPoints();
