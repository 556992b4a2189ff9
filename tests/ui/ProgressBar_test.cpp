#include "ui/ProgressBar.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(ProgressBar, CountsInSixtyFourBitsAndShowsTheScaledValue) {
    ProgressBar bar;
    const qint64 full = qint64{1} << 32;
    bar.setMaximum64(full);
    bar.setPosition64(full / 2);
    EXPECT_EQ(bar.position64(), full / 2);
    EXPECT_EQ(bar.maximum(), std::numeric_limits<int>::max());
    EXPECT_NEAR(bar.value(), std::numeric_limits<int>::max() / 2, 1);
    bar.setPosition64(full);
    EXPECT_EQ(bar.value(), bar.maximum());
    EXPECT_EQ(bar.position64(), bar.maximum64());

    bar.setMaximum64(3);
    EXPECT_EQ(bar.position64(), 3); // clamped to the new maximum
    bar.setPosition64(2);
    EXPECT_EQ(bar.maximum(), 3);
    EXPECT_EQ(bar.value(), 2);
}

} // namespace
