// What one read left: the values of the control's On_ReadData, or what stands in for them.
#pragma once

#include <cstdint>
#include <string>

struct ReadResult {
    std::u16string cardId;
    int32_t errorCode = 0;  // the event's Error: 0 for a good read, 1 for a failed one
    std::u16string message;

    bool good() const { return errorCode == 0; }
};

// The result of a read that ended without On_ReadData: a failed read, so that no caller takes
// an empty card number for a good one.
inline ReadResult NoEventResult()
{
    return ReadResult{u"", 1, u"The Tavrix control reported no result for the read (no On_ReadData event)"};
}
