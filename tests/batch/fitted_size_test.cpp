#include "batch/fitted_size.h"

#include <gtest/gtest.h>

namespace luma {
namespace {

struct FitCase {
    int w, h, bw, bh, ew, eh;
};

class FittedSizeTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittedSizeTest, MatchesExtendedPrecisionTruncation) {
    const FitCase c = GetParam();
    const TDimensions size = FittedSize(c.w, c.h, c.bw, c.bh);
    EXPECT_EQ(size.Width, c.ew);
    EXPECT_EQ(size.Height, c.eh);
}

INSTANTIATE_TEST_SUITE_P(Boxes, FittedSizeTest,
                         ::testing::Values(FitCase{1600, 1200, 640, 480, 640, 480},
                                           FitCase{1200, 1600, 640, 480, 360, 480},
                                           FitCase{3000, 2000, 450, 338, 450, 300},
                                           FitCase{800, 600, 350, 263, 350, 262},
                                           FitCase{2048, 1536, 450, 338, 450, 337},
                                           FitCase{2272, 1704, 400, 300, 399, 299},
                                           FitCase{100, 50, 240, 320, 240, 120},
                                           FitCase{15, 15, 100, 100, 99, 99},
                                           FitCase{300, 200, 100, 100, 100, 66},
                                           FitCase{1024, 768, 100, 100, 100, 75},
                                           FitCase{1200, 1600, 100, 100, 75, 100}));

}  // namespace
}  // namespace luma
