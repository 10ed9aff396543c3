#pragma once
// Tones, their measurement and frequency responses for the rate-conversion and speed-change
// suites. Levels are measured by a least-squares fit of a sinusoid of known frequency, so
// that other components (images, aliases, the filters' start-up) do not bias them.

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace quiramo::test {

// Stereo interleaved: left a·sin, right a/2·cos of the same tone, so that crossed,
// shifted or merged channels show.
inline std::vector<double> stereoTone(uint64_t frames, double freq, double rate, double amplitude) {
    std::vector<double> v(frames * 2);
    for (uint64_t n = 0; n < frames; ++n) {
        const double phase = 2.0 * std::numbers::pi * freq * static_cast<double>(n) / rate;
        v[2 * n] = amplitude * std::sin(phase);
        v[2 * n + 1] = 0.5 * amplitude * std::cos(phase);
    }
    return v;
}

struct ToneFit {
    double amplitude = 0.0;
    double residualDb = 0.0;  // what the tone does not explain, relative to the tone
};

// Fits a·cos + b·sin at `freq` to frames [start, start + count) of channel c.
inline ToneFit fitTone(const double* x, unsigned channels, unsigned c, uint64_t start, uint64_t count,
                       double freq, double rate) {
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (uint64_t n = start; n < start + count; ++n) {
        const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(n) / rate;
        const double co = std::cos(w), si = std::sin(w), v = x[n * channels + c];
        cc += co * co, ss += si * si, cs += co * si, xc += v * co, xs += v * si;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;
    const double b = (xs * cc - xc * cs) / det;
    double residual = 0.0, tone = 0.0;
    for (uint64_t n = start; n < start + count; ++n) {
        const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(n) / rate;
        const double model = a * std::cos(w) + b * std::sin(w);
        residual += (x[n * channels + c] - model) * (x[n * channels + c] - model);
        tone += model * model;
    }
    return {std::hypot(a, b), 10.0 * std::log10(residual / tone)};
}

// Frequency from the rising zero crossings (linearly interpolated) of channel c in frames
// [start, start + count).
inline double zeroCrossingFrequency(const double* x, unsigned channels, unsigned c, uint64_t start,
                                    uint64_t count, double rate) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (uint64_t n = start + 1; n < start + count; ++n) {
        const double a = x[(n - 1) * channels + c], b = x[n * channels + c];
        if (a < 0.0 && b >= 0.0) {
            const double t = static_cast<double>(n - 1) + a / (a - b);
            if (crossings == 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

// Magnitude response in dB of an FIR at frequency f (a fraction of its rate).
inline double responseDb(const double* taps, size_t count, double f) {
    std::complex<double> sum = 0.0;
    for (size_t k = 0; k < count; ++k) sum += taps[k] * std::polar(1.0, -2.0 * std::numbers::pi * f * k);
    return 20.0 * std::log10(std::abs(sum));
}

}  // namespace quiramo::test
