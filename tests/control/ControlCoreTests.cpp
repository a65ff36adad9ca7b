#include <gtest/gtest.h>

#include "Fault.h"
#include "FormFont.h"

namespace {

TEST(FaultBoxText, AppendsAFullStopAfterCharactersAboveIt)
{
    const struct {
        std::u16string message, shown;
    } cases[] = {
        {u"abc", u"abc."}, {u"abc.", u"abc."}, {u"abc!", u"abc!"}, {u"", u""},
        {u"x-", u"x-"},    {u"1/", u"1/."},    {u"読み込めません", u"読み込めません."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FaultBoxText(c.message), c.shown);
}

TEST(PointsFromCy, RoundsHalvesToTheEvenNeighbour)
{
    const struct {
        int64_t cy;
        int32_t points;
    } cases[] = {{125000, 12}, {135000, 14}, {125001, 13}, {124999, 12}, {80000, 8},
                 {82500, 8},   {85000, 8},   {95000, 10},  {0, 0},        {-125000, -12}};
    for (const auto& c : cases)
        EXPECT_EQ(PointsFromCy(c.cy), c.points) << c.cy;
}

TEST(MulDiv32, RoundsHalfAwayFromZero)
{
    EXPECT_EQ(MulDiv32(-11, 72, 96), -8);  // 8.25
    EXPECT_EQ(MulDiv32(8, 96, 72), 11);    // 10.67
    EXPECT_EQ(MulDiv32(3, 1, 2), 2);
    EXPECT_EQ(MulDiv32(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv32(1, 1, 0), -1);
}

// As the platform's: a result beyond ±2147483647 gives -1, so that no caller negates the
// most negative integer. A stored form's font size reaches this unchecked.
TEST(MulDiv32, AnOverflowGivesMinusOne)
{
    const struct {
        int32_t a, b, c, result;
    } cases[] = {
        {1610612736, 96, 72, -1},        // 2147483648
        {-1610612736, 96, 72, -1},       // -2147483648
        {INT32_MIN, 72, 72, -1},
        {INT32_MIN, -1, 1, -1},
        {2147483647, 2, 2, 2147483647},
        {-2147483647, 3, 3, -2147483647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv32(c.a, c.b, c.c), c.result) << c.a << " * " << c.b << " / " << c.c;

    FormFont font;
    font.setSize(1610612736);
    EXPECT_EQ(font.height(), 1);
    FormFont coarse(72);
    coarse.setHeight(INT32_MIN);
    EXPECT_EQ(coarse.size(), 1);
}

TEST(FormFont, SizeFollowsHeightAndResolution)
{
    FormFont font;
    EXPECT_EQ(font.name(), u"Tahoma");
    EXPECT_EQ(font.height(), -11);
    EXPECT_EQ(font.size(), 8);
    EXPECT_EQ(font.charset(), 1);
    EXPECT_EQ(font.color(), 0xFF000008u);
    font.setSize(12);
    EXPECT_EQ(font.height(), -16);
    FormFont large(120);
    large.setSize(8);
    EXPECT_EQ(large.height(), -13);
    EXPECT_EQ(large.size(), 8);
}

TEST(FormFont, AnnouncesEachRealChangeOnce)
{
    FormFont font;
    int changes = 0;
    font.onChange = [&] { ++changes; };
    font.setName(u"Tahoma");
    font.setSize(8);
    EXPECT_EQ(changes, 0) << "equal values change nothing";
    font.assign(u"MS Sans Serif", 12, FontStyle{true, false, false, false}, 128);
    EXPECT_EQ(changes, 1);
    font.setColor(0x00FF0000);
    EXPECT_EQ(changes, 2);
}

}  // namespace
