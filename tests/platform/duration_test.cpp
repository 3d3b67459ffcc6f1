#include "platform/duration.h"
#include "platform/exceptions.h"
#include "platform/rounding.h"

#include <gtest/gtest.h>

using namespace vandrex;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(2.500001), 3);
    EXPECT_EQ(Round(-0.6), -1);
}

TEST(Duration, FormatsTwoDigitParts) {
    EXPECT_EQ(FormatDuration(0), "00:00:00");
    EXPECT_EQ(FormatDuration(3723), "01:02:03");
    EXPECT_EQ(FormatDuration(359999), "99:59:59");
    EXPECT_EQ(FormatDuration(360000), "100:00:00");
}

TEST(Duration, ParsesFixedPositions) {
    EXPECT_EQ(ParseDuration("01:02:03"), 3723);
    EXPECT_EQ(ParseDuration("00:74:00"), 74 * 60);
    EXPECT_EQ(ParseDuration(FormatDuration(86399)), 86399);
    EXPECT_THROW(ParseDuration("aa:00:00"), EConvertError);
    EXPECT_THROW(ParseDuration("00:00"), EConvertError);
}
