#pragma once
// Programme material made in code for the loudness tests and the loudness benchmark:
// sines, pink noise, and a music-like programme with loud and quiet passages, chords and
// drum-like transients. Interleaved doubles on the integer scale of a word length, like
// the pipeline's buffers. Deterministic: the same arguments give the same samples.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace quiramo::test {

inline double fullScaleOf(unsigned bits) {
    return std::ldexp(1.0, static_cast<int>(bits) - 1);
}

// Amplitude of a level in dBFS on the integer scale.
inline double amplitudeOf(double dBFS, unsigned bits) {
    return fullScaleOf(bits) * std::pow(10.0, dBFS / 20.0);
}

// A sine of the given peak level in every channel (phase in radians, channel c shifted by
// c × channelPhase).
inline std::vector<double> sine(double rate, double seconds, double hz, double peakDBFS, unsigned bits,
                                unsigned channels = 2, double phase = 0.0, double channelPhase = 0.0) {
    const auto frames = static_cast<size_t>(std::llround(seconds * rate));
    const double a = amplitudeOf(peakDBFS, bits);
    std::vector<double> v(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        for (unsigned c = 0; c < channels; ++c) {
            v[i * channels + c] = a * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate +
                                               phase + c * channelPhase);
        }
    }
    return v;
}

// Uniform values in [-1, 1) from the generator's raw output, the same on every platform.
class Uniform {
  public:
    explicit Uniform(uint32_t seed) : gen_(seed) {}
    double operator()() { return static_cast<double>(gen_()) / 2147483648.0 - 1.0; }

  private:
    std::mt19937 gen_;
};

// Pink noise, one generator per channel: white noise through a sum of first-order sections
// that approximates -3 dB per octave over the audio band.
class PinkNoise {
  public:
    explicit PinkNoise(uint32_t seed) : white_(seed) {}
    double operator()() {
        const double w = white_();
        b_[0] = 0.99886 * b_[0] + w * 0.0555179;
        b_[1] = 0.99332 * b_[1] + w * 0.0750759;
        b_[2] = 0.96900 * b_[2] + w * 0.1538520;
        b_[3] = 0.86650 * b_[3] + w * 0.3104856;
        b_[4] = 0.55000 * b_[4] + w * 0.5329522;
        b_[5] = -0.7616 * b_[5] - w * 0.0168980;
        const double pink = b_[0] + b_[1] + b_[2] + b_[3] + b_[4] + b_[5] + b_[6] + w * 0.5362;
        b_[6] = w * 0.115926;
        return pink * 0.11;  // peaks near ±1
    }

  private:
    Uniform white_;
    double b_[7] = {};
};

// Scales the programme so that its largest |sample| is at peakDBFS.
inline void normalisePeak(std::vector<double>& v, double peakDBFS, unsigned bits) {
    double peak = 0.0;
    for (const double x : v) peak = std::max(peak, std::fabs(x));
    if (peak == 0.0) return;
    const double g = amplitudeOf(peakDBFS, bits) / peak;
    for (double& x : v) x *= g;
}

// Rounds to the integers of the word length, as a decoded file holds them.
inline void quantise(std::vector<double>& v, unsigned bits) {
    const double fs = fullScaleOf(bits);
    for (double& x : v) x = std::clamp(std::nearbyint(x), -fs, fs - 1.0);
}

inline std::vector<double> pinkNoise(double rate, double seconds, double peakDBFS, unsigned bits,
                                     uint32_t seed = 1) {
    const auto frames = static_cast<size_t>(std::llround(seconds * rate));
    PinkNoise left(seed), right(seed + 1000);
    std::vector<double> v(frames * 2);
    for (size_t i = 0; i < frames; ++i) v[2 * i] = left(), v[2 * i + 1] = right();
    normalisePeak(v, peakDBFS, bits);
    return v;
}

// A stereo programme in passages of 4 s whose levels range over about 45 dB (loud
// choruses, quieter verses, a near-silent break, a fade-out): chords of harmonic tones
// with vibrato panned across the stage, a pink-noise bed, and drum hits every 0.5 s: a
// kick with a falling pitch and a snare burst of noise with a sharp attack, rolled off above
// 6 kHz (four first-order sections) as a snare in a mix is, so that like music the
// programme has little left near the top of the band.
// True peak, gating and the range all have work.
inline std::vector<double> musicLike(double rate, double seconds, double peakDBFS, unsigned bits,
                                     uint32_t seed = 7) {
    const auto frames = static_cast<size_t>(std::llround(seconds * rate));
    constexpr double kPassageSeconds = 4.0;
    constexpr double kGlideSeconds = 0.05;  // level changes glide so that they are not clicks
    constexpr double kPassageDB[] = {-12, -6, 0, -18, -4, -30, -9, 0, -22, -3, -45, -1};
    constexpr double kChordHz[][3] = {
        {220.0, 277.18, 329.63}, {196.0, 246.94, 293.66}, {174.61, 220.0, 261.63}, {164.81, 207.65, 246.94}};
    constexpr size_t kPassages = std::size(kPassageDB);
    const double twoPi = 2.0 * std::numbers::pi;
    const double snarePole = std::exp(-twoPi * 6000.0 / rate);
    PinkNoise bedL(seed), bedR(seed + 1);
    Uniform snare(seed + 2);
    double snareLow[4] = {};
    std::vector<double> v(frames * 2);
    double phase[3][4] = {};
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const auto passage = static_cast<size_t>(t / kPassageSeconds);
        const double into = t - static_cast<double>(passage) * kPassageSeconds;
        const double level = kPassageDB[passage % kPassages];
        const double before = kPassageDB[(passage + kPassages - 1) % kPassages];
        double gain = std::pow(
            10.0, (into < kGlideSeconds ? before + (level - before) * into / kGlideSeconds : level) / 20.0);
        if (seconds - t < kPassageSeconds) gain *= (seconds - t) / kPassageSeconds;  // fade-out

        const auto& chord = kChordHz[passage % std::size(kChordHz)];
        const double vibrato = 1.0 + 0.003 * std::sin(twoPi * 5.5 * t);
        double l = 0.0, r = 0.0;
        for (int n = 0; n < 3; ++n) {
            for (int h = 0; h < 4; ++h) {
                phase[n][h] += twoPi * chord[n] * (h + 1) * vibrato / rate;
                if (phase[n][h] > twoPi) phase[n][h] -= twoPi;
                const double s = std::sin(phase[n][h]) * 0.18 / (h + 1);
                const double pan = 0.25 + 0.25 * n;  // left to right
                l += s * (1.0 - pan), r += s * pan;
            }
        }
        l += 0.05 * bedL(), r += 0.05 * bedR();

        // Kick on every beat, snare on the off-beats.
        const double beat = std::fmod(t, 0.5);
        const double kick =
            std::exp(-beat * 30.0) * std::sin(twoPi * (50.0 + 80.0 * std::exp(-beat * 40.0)) * beat);
        l += 0.7 * kick, r += 0.7 * kick;
        const double burst = beat > 0.25 ? std::exp(-(beat - 0.25) * 45.0) * snare() : 0.0;
        double in = burst;
        for (double& y : snareLow) in = y = in + snarePole * (y - in);
        l += 1.6 * in, r += 2.0 * in;
        v[2 * i] = gain * l, v[2 * i + 1] = gain * r;
    }
    normalisePeak(v, peakDBFS, bits);
    return v;
}

}  // namespace quiramo::test
