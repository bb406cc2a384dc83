#include "common/format_size.h"

#include <gtest/gtest.h>

using tarn::format_size;

TEST(FormatSize, StrictThresholdsBetweenUnits)
{
    EXPECT_EQ(format_size(0), "0B");
    EXPECT_EQ(format_size(1024), "1024B");
    EXPECT_EQ(format_size(1025), "1.00K");
    EXPECT_EQ(format_size(1536), "1.50K");
    EXPECT_EQ(format_size(1048576), "1024.00K");
    EXPECT_EQ(format_size(1048577), "1.00M");
    EXPECT_EQ(format_size(1073741824), "1024.00M");
    EXPECT_EQ(format_size(1073741825), "1.00G");
    EXPECT_EQ(format_size(5ull * 1024 * 1024 * 1024 * 1024), "5120.00G");
    EXPECT_EQ(format_size(~0ull), "17179869184.00G");
}
