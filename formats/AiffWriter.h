#pragma once
// The AIFF and AIFF-C writer: the whole image of a converted file in memory (form header,
// for AIFF-C the version chunk, COMM, SSND, the signature chunk and a carried ID3 chunk),
// ready for one atomic write. AIFF outputs carry neither bext nor iXML.

#include <cstdint>
#include <vector>

namespace quiramo {
class AudioFile;

// The ten COMM bytes of a frame rate: the fixed encodings of the six supported rates,
// any other rate as a normalised 80-bit extended value.
void encodeExtendedRate(double rate, uint8_t* bytes10);

// Appends the whole file image to out, AIFF or AIFF-C after job.dstFileType. A failure
// leaves out as it was with the job's error set.
void CreateDestBufferAIFC(AudioFile& job, std::vector<uint8_t>& out);

}  // namespace quiramo
