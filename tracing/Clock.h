// The platform's clock and ids for a trace line (Windows only).
#pragma once

#include <cstdint>

#include "TraceLine.h"

// Now, in UTC to the tenth of a microsecond where the platform can tell it, with this
// process and thread.
LineStamp StampNow(int level);

// A point of the performance counter, and the microseconds from one to the other.
int64_t CounterNow();
uint64_t Microseconds(int64_t from, int64_t to);
