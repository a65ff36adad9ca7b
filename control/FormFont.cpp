#include "FormFont.h"

#include <cstdint>
#include <cstdlib>

int32_t MulDiv32(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;  // as the platform's own
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = std::llabs(static_cast<int64_t>(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::llabs(product) + half) / std::llabs(static_cast<int64_t>(c));
    // The platform's gives -1 here too; callers negate the result, which the most
    // negative integer would not survive (a stored font size reaches this unchecked).
    if (magnitude > INT32_MAX)
        return -1;
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t PointsFromCy(int64_t cy)
{
    int64_t points = cy / 10000;
    const int64_t rest = cy % 10000;
    if (rest > 5000 || (rest == 5000 && points % 2 != 0))
        ++points;
    else if (rest < -5000 || (rest == -5000 && points % 2 != 0))
        --points;
    return static_cast<int32_t>(points);
}
