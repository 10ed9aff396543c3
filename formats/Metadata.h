#pragma once
// Broadcast (bext), iXML and ID3 metadata: the source reports and the chunk builders the
// writers call. Each builder appends one complete chunk, header included.

#include <cstdint>
#include <vector>

namespace quiramo {
class AudioFile;

void AnalyseAudioMetricsBEXT(AudioFile& job, unsigned point);
void AnalyseAudioMetricsIXML(AudioFile& job, unsigned point);
void AnalyseAudioMetricsVorbis(AudioFile& job, unsigned point);

void CreateBextChunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size);
void CreateIXMLChunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size);
void CreateID3Chunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size);

}  // namespace quiramo
