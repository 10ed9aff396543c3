#pragma once
// Sample-rate conversion by factors of two around the enhancement stages.

namespace quiramo {
class AudioFile;

// Halves 176.4/192 kHz audio in audioIn before the stages (upsampleType 4 and 8).
void QuadDownSample(AudioFile& job);
// Fills audioBuf_0 from audioIn: doubles the rate for upsampleType 2, otherwise copies.
void DualUpSample(AudioFile& job);
// Doubles audioBuf_2 back to 176.4/192 kHz after the stages (upsampleType 4).
void QuadUpSample(AudioFile& job);

}  // namespace quiramo
