#include "batch/fitted_size.h"

namespace luma {

namespace {

// (box / side) x 100 in extended precision, rounded to a double; 0 for an empty side.
double Percentage(int32_t box, int32_t side) {
    if (side == 0) return 0.0;
    const long double ratio = static_cast<long double>(box) / static_cast<long double>(side);
    return static_cast<double>(ratio * 100.0L);
}

int32_t ScaledSide(int32_t side, double percent) {
    const long double scaled = (static_cast<long double>(side) / 100.0L) * static_cast<long double>(percent);
    return static_cast<int32_t>(scaled);
}

}  // namespace

TDimensions FittedSize(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight) {
    const double pw = Percentage(boxWidth, width);
    const double ph = Percentage(boxHeight, height);
    const double p = pw > ph ? ph : pw;
    return {ScaledSide(width, p), ScaledSide(height, p)};
}

}  // namespace luma
