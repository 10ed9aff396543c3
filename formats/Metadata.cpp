#include "formats/Metadata.h"

#include "engine/record/AudioFile.h"

namespace quiramo {

// The broadcast and tag metadata land with their own work; until then nothing is
// reported and the builders append nothing.
void AnalyseAudioMetricsBEXT(AudioFile&, unsigned) {}
void AnalyseAudioMetricsIXML(AudioFile&, unsigned) {}
void AnalyseAudioMetricsVorbis(AudioFile&, unsigned) {}

void CreateBextChunk(AudioFile&, std::vector<uint8_t>&, uint32_t) {}
void CreateIXMLChunk(AudioFile&, std::vector<uint8_t>&, uint32_t) {}
void CreateID3Chunk(AudioFile&, std::vector<uint8_t>&, uint32_t) {}

}  // namespace quiramo
