// Writes the bundled demonstration file: a short stereo needle drop stand-in made of our
// own synthetic material (a melody of tones, surface noise, low rumble and a few clicks),
// so the project ships no third-party audio.
//
// Usage: quiramo-make-sample OUT.wav

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <random>
#include <vector>

#include "formats/Bytes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quiramo-make-sample OUT.wav\n");
        return 2;
    }
    constexpr unsigned kRate = 44100;
    constexpr unsigned kSeconds = 5;
    constexpr unsigned kFrames = kRate * kSeconds;
    constexpr double kPi = 3.14159265358979323846;
    const double melody[] = {261.63, 329.63, 392.00, 523.25, 392.00, 329.63, 293.66, 261.63, 196.00, 261.63};
    const unsigned clicks[] = {15000, 61000, 100500, 151200, 190000};

    std::mt19937 random(20261211);  // fixed seed: the sample is the same on every machine
    std::normal_distribution<double> noise(0.0, 1.0);
    double pinkL = 0.0, pinkR = 0.0;

    std::vector<uint8_t> image;
    using namespace quiramo::bytes;
    const uint32_t dataBytes = kFrames * 4;
    appendText(image, "RIFF");
    appendU32LE(image, 36 + dataBytes);
    appendText(image, "WAVEfmt ");
    appendU32LE(image, 16);
    appendU16LE(image, 1);
    appendU16LE(image, 2);
    appendU32LE(image, kRate);
    appendU32LE(image, kRate * 4);
    appendU16LE(image, 4);
    appendU16LE(image, 16);
    appendText(image, "data");
    appendU32LE(image, dataBytes);

    for (unsigned i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const unsigned note = i / (kFrames / 10);
        const double f = melody[note < 10 ? note : 9];
        const double inNote = std::fmod(t, kSeconds / 10.0);
        const double envelope = std::min(1.0, inNote * 40.0) * std::exp(-inNote * 2.5);
        const double tone = envelope * (0.5 * std::sin(2 * kPi * f * t) + 0.15 * std::sin(4 * kPi * f * t));
        // Surface noise: white noise through a one-pole low-pass, different per channel.
        pinkL = 0.97 * pinkL + 0.03 * noise(random);
        pinkR = 0.97 * pinkR + 0.03 * noise(random);
        const double rumble = 0.02 * std::sin(2 * kPi * 14.0 * t);
        double l = 0.8 * tone + 0.05 * pinkL + rumble;
        double r = 0.7 * tone + 0.05 * pinkR + rumble;
        for (unsigned c : clicks) {
            if (i >= c && i < c + 6) {
                const double spike = (i - c) % 2 ? -0.9 : 0.95;
                l += spike;
                r += spike * 0.8;
            }
        }
        auto toInt = [](double x) {
            const double v = std::floor(std::max(-1.0, std::min(1.0, x)) * 32767.0 + 0.5);
            return static_cast<uint16_t>(static_cast<int16_t>(v));
        };
        appendU16LE(image, toInt(l));
        appendU16LE(image, toInt(r));
    }

    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(image.data(), 1, image.size(), out) != image.size() || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
