// How a test or a demo scripts the reader simulator, and what it records of each call.
// Plain C records: they cross the simulator DLL's boundary as they are.
#pragma once

#include <cstdint>

enum SimEntryPoint : int32_t {
    SimInitializeLibrary,
    SimDisposeLibrary,
    SimOpenReaderWriterAuto,
    SimCloseReaderWriter,
    SimPollingAndGetCardInformation,
    SimReadBlockWithoutEncryption,
    SimGetLastErrorType,
    SimEntryPointCount
};

struct SimScript {
    uint32_t results[SimEntryPointCount];     // what each entry point returns
    int32_t errorCodes[SimEntryPointCount];   // the last error after that entry point returned zero
    uint8_t writesErrorCode;                  // 0: get_last_error_type writes no code
    uint8_t writesPollOutputs;                // 0: the poll writes neither card count nor IDm/PMm
    uint8_t numberOfCards;
    uint8_t idm[8];
    uint8_t pmm[8];
    uint8_t writesReadOutputs;                // 0: the block read writes nothing
    uint8_t statusFlag1;
    uint8_t statusFlag2;
    uint8_t blockData[16];
    uint32_t pollDelayMilliseconds;           // to widen the window for overlapping reads
};

// What one call received. Lists longer than the record holds are cut; the counts are whole.
struct SimCall {
    int32_t entryPoint;                       // SimEntryPoint
    uint32_t thread;                          // the caller, in order of first appearance
    uint8_t systemCode[2];                    // poll
    uint8_t timeSlot;                         // poll
    uint8_t numberOfCardsIn;                  // poll: the count as it stood before the call
    uint8_t idm[8];                           // block read: the IDm it was asked to read
    uint8_t numberOfServices;                 // block read
    uint8_t serviceCodeList[8];
    uint8_t numberOfBlocks;                   // block read
    uint8_t blockList[8];
    uint8_t blockDataIn[16];                  // block read: the buffer as it stood before the call
};

// How many of the latest calls the simulator keeps; the count goes on past them.
constexpr uint32_t SimRecordedCalls = 4096;

extern "C" {
void sim_reset();                              // the default script (one EDY card) and an empty record
void sim_set_script(const SimScript* script);
void sim_get_script(SimScript* script);
int32_t sim_call_count();                      // calls since the last reset
int32_t sim_get_call(int32_t index, SimCall* call);  // 0 when index is out of range or no longer kept
}
