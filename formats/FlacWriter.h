#pragma once
// The FLAC writer, on libFLAC's stream encoder. Unlike the WAV and AIFF writers it builds no
// image: it encodes the converted audio into a file beside the destination, with the
// signature chunk, bext, iXML and ID3 in APPLICATION blocks and the Vorbis comments and
// picture of a FLAC source, and renames that file into place only when encoding and
// verification succeeded. A failed or cancelled conversion leaves nothing behind.

#include <string>

namespace quiramo {
class AudioFile;

// Encodes job.dstAudioData (32-bit samples, right-justified) into path, which must not
// exist yet. Failures set the job's error bits.
void CreateDestBufferFLAC(AudioFile& job, const std::string& path);

}  // namespace quiramo
