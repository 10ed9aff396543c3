#pragma once
// The AIFF and AIFF-C writer: the whole image of a converted file in memory (form header,
// for AIFF-C the version chunk, COMM, SSND, the signature chunk and a carried ID3 chunk),
// ready for one atomic write. AIFF outputs carry neither bext nor iXML.

#include <cstdint>
#include <vector>

#include "formats/WavWriter.h"

namespace quiramo {
class AudioFile;

// The ten COMM bytes of a frame rate: the fixed encodings of the six supported rates,
// any other rate as a normalised 80-bit extended value.
void encodeExtendedRate(double rate, uint8_t* bytes10);

// The FORM size rule: like RIFF, 32 bits. Sizes of the job's image with trailingBytes of
// chunks after the samples (signature, ID3 and their pad bytes); over the limit it cuts the
// fewest whole frames exactly as the WAV writer does, with the same warning and texts.
// riffSize is the FORM size field.
WavDataSize fitAiffToFormLimit(AudioFile& job, uint64_t trailingBytes);

// Appends the whole file image to out, AIFF or AIFF-C after job.dstFileType. A failure
// leaves out as it was with the job's error set.
void CreateDestBufferAIFC(AudioFile& job, std::vector<uint8_t>& out);

}  // namespace quiramo
