#pragma once
// The one place that knows which reader and which writer serve each file type.

#include <cstdint>
#include <string>
#include <vector>

namespace quiramo {
class AudioFile;

// Reads the source with the reader of job.srcFileType; an unknown type logs and sets
// "Invalid file type. ".
void ReadSourceFile(AudioFile& job, bool headerOnly);

// Builds the output with the writer of job.dstFileType: WAV and AIFF into image, FLAC
// straight to path.
void WriteDestination(AudioFile& job, std::vector<uint8_t>& image, const std::string& path);

}  // namespace quiramo
