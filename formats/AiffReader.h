#pragma once
// The AIFF and AIFF-C reader: format parameters (the frame rate from the 80-bit extended
// float of COMM), uncompressed big-endian ("NONE") and byte-swapped ("sowt") data, the ID3
// chunk carried into the converted file, the signature chunk of an earlier conversion, the
// recording emphasis of an AES channel status chunk and, for a processing pass, the sample
// bytes. Range checks of rate, channels and bit depth belong to the analysis pass.

#include <cstdint>

namespace quiramo {
class AudioFile;
class ReadOnlyFile;

// Reads the file named by job.inputFile. With headerOnly clear the sample bytes are read
// into srcAudioData. Results are the job's fields, error and warning bits.
void AnalyseAIFC(AudioFile& job, bool headerOnly);

// The same on a file that is already open (a memory image, for tests and the fuzzer).
void AnalyseAIFC(AudioFile& job, ReadOnlyFile& file, bool headerOnly);

// The value of a 10-byte IEEE 754 extended float read the way COMM rates are read: the
// 64-bit mantissa taken as an integer, scaled by the exponent, the sign ignored. Rates
// written with a clear integer bit (88200 and 96000 by earlier releases) come out exact.
double decodeExtendedRate(const uint8_t* bytes10);

}  // namespace quiramo
