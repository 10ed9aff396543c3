#pragma once
// The fixed low-pass filters of the sample-rate conversion and the speed change. All are
// symmetric (linear phase) with a DC gain of 1; frequencies in the comments are fractions
// of the rate each filter runs at. Designed once by scripts/design_filters.py, which also
// writes FilterTables.cpp: change the script, not the numbers.

#include <array>

namespace quiramo::dsp {

// Halving 176.4/192 kHz before the stages, at the input rate.
extern const std::array<double, 119> kDecimationTaps;
// Doubling 88.2/96 kHz back after the stages, at the output rate.
extern const std::array<double, 119> kInterpolationTaps;
// Doubling 44.1/48 kHz for hi-res processing, at the output rate.
extern const std::array<double, 253> kHiResTaps;

// Anti-alias filters of the speed change, at three times the frame rate: by 3/4 and by
// 3/6, 3/7 or 3/8, for 44.1/48 kHz and for 88.2/96 kHz material.
extern const std::array<double, 31> kWindUpTaps441Quarter;
extern const std::array<double, 31> kWindUpTaps441;
extern const std::array<double, 31> kWindUpTaps882Quarter;
extern const std::array<double, 31> kWindUpTaps882;

}  // namespace quiramo::dsp
