#pragma once
// The signature chunk "QUER" that every converted file carries: what was done to it, by
// which version, and when.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace quiramo {
class AudioFile;

inline constexpr size_t kSignatureChunkSize = 66;

// "v" + the short version string.
const char* shortVersionString();

// The conversion time as the chunk stores it, before padding: "yyyy-MM-dd HH:mm:ss +hhmm"
// in local time.
std::string conversionTimeText(std::time_t when);

// Appends the 66-byte chunk for the job's conversion (size field in dstEndianessValues order).
void CreateMetadataChunk(AudioFile& job, std::vector<uint8_t>& out);

// 1 for chunks written up to 2.0.13 (4-byte enhancement fields), 2 after.
int GetMetadataChunkVersion(std::string_view versionText);

// Sets the prior-conversion bits and, for header-only reads, warns.
void MetadataWarning(AudioFile& job, uint64_t type1, uint64_t type2, bool headerOnly, int version);

// Decodes a chunk read from a file (header included) with its log lines, then calls
// MetadataWarning. A chunk too short for its layout sets "Invalid file header. ".
void DecodeMetadataChunk(AudioFile& job, const uint8_t* chunk, size_t size, bool headerOnly);

}  // namespace quiramo
