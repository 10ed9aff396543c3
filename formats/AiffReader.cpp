#include "formats/AiffReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "formats/ReaderSupport.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using bytes::kChunkHeaderSize;
using readers::ChunkPlace;
using readers::failHeader;

// The only FVER timestamp there is: AIFC Version 1.
constexpr uint32_t kAifcVersion1 = 0xA2805140;

// COMM body: channels (2), frames (4), sample size (2), rate (10); AIFF-C adds the
// compression type (4) and a counted name, at least its count byte.
constexpr uint32_t kCommAiffSize = 18;
constexpr uint32_t kCommAifcMinSize = 23;
constexpr size_t kCompressionNameOffset = 22;
// No COMM field lies beyond the longest counted name.
constexpr uint32_t kCommMaxRead = kCompressionNameOffset + 1 + 255;

// SSND body before the sound data: offset and blockSize.
constexpr uint32_t kSsndPrefixSize = 8;

constexpr uint32_t kAesdSize = 24;

// The chunks the reader keeps, in the order they are examined after the walk.
enum ChunkSlot { kFver, kComm, kSsnd, kSignature, kID3, kAesd, kKnownChunkCount };

constexpr readers::KnownChunk kKnownChunks[kKnownChunkCount] = {
    {"FVER", "<ERROR> There can only be one FVER chunk"},
    {"COMM", "<ERROR> There can only be one COMM chunk"},
    {"SSND", "<ERROR> There can only be one SSND chunk"},
    {"QUER", "<ERROR> There can only be one QUER chunk"},
    {"ID3 ", "<ERROR> There can only be one ID3v2 chunk"},
    {"AESD", "<ERROR> There can only be one AESD chunk"},
};

using ChunkPlaces = ChunkPlace[kKnownChunkCount];

// The emphasis field of AES3 channel status byte 0 (bits 2 to 4), as a professional
// stream states it.
struct EmphasisCase {
    unsigned field;
    const char* line;
    int warning;
};

constexpr EmphasisCase kEmphasis[] = {
    {0, "<Info>  Emphasis not indicated", 0},
    {4, "<Info>  No emphasis", 0},
    {6, "<Info>  CD pre-emphasis (50/15 \u03bcs) detected", kWarningCdEmphasis},
    {7, "<Info>  CCITT J.17 emphasis detected", kWarningJ17Emphasis},
};

bool readFormHeader(AudioFile& job, ReadOnlyFile& file) {
    platform::log("<Info> Analysing FORM chunk");
    uint8_t header[readers::kFormHeaderSize] = {};
    file.seek(0);
    const size_t got = file.read(header, sizeof header);
    if (file.failed()) {
        readers::failRead(job);
        return false;
    }
    if (got < sizeof header) {
        failHeader(job);
        return false;
    }
    if (!readers::acceptFormId(job, header, "FORM", kBigEndian)) return false;
    if (bytes::isFourCC(header + 8, "AIFC")) {
        job.srcFileType = catalogue::kFileAIFC;
        platform::log("<Info>  formType = AIFC");
        job.setText(Column::fileType, "AIFF-C audio");
    } else if (bytes::isFourCC(header + 8, "AIFF")) {
        job.srcFileType = catalogue::kFileAIFF;
        platform::log("<Info>  formType = AIFF");
        job.setText(Column::fileType, "AIFF audio");
    } else {
        job.srcFileType = 0;
        platform::log("<ERROR> formType = file_unknown");
        failHeader(job);
        return false;
    }
    job.postRefresh();
    platform::log("<Info>  FORM chunk is good");
    return true;
}

bool examineFver(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place) {
    platform::log("<Info> Analysing FVER chunk");
    if (place.size != 4) {
        platform::log("<ERROR> Unexpected ckDataSize");
        failHeader(job);
        return false;
    }
    uint8_t chunk[kChunkHeaderSize + 4];
    if (!readers::readAt(job, file, place.position, chunk, sizeof chunk)) return false;
    const uint32_t timestamp = bytes::readU32BE(chunk + kChunkHeaderSize);
    if (timestamp != kAifcVersion1) {
        platform::log("<ERROR> Unexpected timestamp: %x (hex) %u (dec)", timestamp, timestamp);
        failHeader(job);
        return false;
    }
    platform::log("<Info>  timestamp = AIFCVersion1: %x (hex) %u (dec)", timestamp, timestamp);
    platform::log("<Info>  FVER chunk is good");
    return true;
}

void decodeFrameRate(AudioFile& job, const uint8_t* rate) {
    const unsigned sign = rate[0] >> 7;
    platform::log("<Info>  frameRateSign = %x (hex) %u (dec)", sign, sign);
    if (sign) {
        // The magnitude is still decoded: the log then shows what the file meant.
        platform::log("<ERROR> frameRateSign cannot be negative");
        job.error |= kErrorFrameRate;
    }
    const int biased = bytes::readU16BE(rate) & 0x7FFF;
    const int exponent = biased - 16383;
    platform::log("<Info>  frameRateExponent (biased) = %x (hex) %i (dec)", static_cast<unsigned>(biased),
                  biased);
    platform::log("<Info>  frameRateExponent = %x (hex) %u (dec)", static_cast<unsigned>(exponent),
                  static_cast<unsigned>(exponent));
    job.srcFrameRate = decodeExtendedRate(rate);

    std::string fraction = "<Info>  frameRateFraction =";
    for (int i = 2; i < 10; ++i) fraction += platform::format(" %02x", rate[i]);
    platform::logText(fraction);
    platform::log("<Info>  Frame rate = %.1f", job.srcFrameRate);
}

bool examineComm(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place) {
    if (!place.found) {
        platform::log("<ERROR> This file is missing a COMM chunk");
        failHeader(job);
        return false;
    }
    platform::log("<Info> Analysing COMM chunk");
    const bool aifc = job.srcFileType == catalogue::kFileAIFC;
    // A chunk too short for the fields it must hold is refused before anything is read
    // from it, so no field is ever taken from the chunk after it.
    const uint32_t needed = aifc ? kCommAifcMinSize : kCommAiffSize;
    if (place.size < needed) {
        platform::log("<ERROR> Unexpected ckDataSize: %u", place.size);
        failHeader(job);
        return false;
    }
    const uint32_t bodySize = std::min(place.size, kCommMaxRead);
    uint8_t chunk[kChunkHeaderSize + kCommMaxRead];
    if (!readers::readAt(job, file, place.position, chunk, kChunkHeaderSize + bodySize)) return false;
    readers::logChunkHeader(chunk, kBigEndian);
    const uint8_t* body = chunk + kChunkHeaderSize;

    job.srcChannels = bytes::readU16BE(body);
    job.srcFrames = bytes::readU32BE(body + 2);
    job.srcSampleBits = bytes::readU16BE(body + 6);
    platform::log("<Info>  Channels = %x (hex) %u (dec)", job.srcChannels, job.srcChannels);
    platform::log("<Info>  Sample frames = %x (hex) %u (dec)", job.srcFrames, job.srcFrames);
    platform::log("<Info>  Sample bits = %x (hex) %u (dec)", job.srcSampleBits, job.srcSampleBits);
    if (job.srcSampleBits < 1 || job.srcSampleBits > 32) {
        platform::log("<ERROR> Sample size must be in the range 1-32");
        job.error |= kErrorBitDepth;
    }
    job.srcSampleBytes = (job.srcSampleBits + 7u) / 8u;
    platform::log("<Info>  Sample bytes = %x (hex) %u (dec)", job.srcSampleBytes, job.srcSampleBytes);

    decodeFrameRate(job, body + 8);

    if (!aifc) {
        job.srcEndianessData = kBigEndian;
    } else {
        const uint8_t* compression = body + 18;
        platform::log("<Info>  compressionType = %4.4s", readers::idText(compression));
        if (bytes::isFourCC(compression, "sowt")) {
            job.srcEndianessData = kLittleEndian;
        } else if (bytes::isFourCC(compression, "NONE")) {
            job.srcEndianessData = kBigEndian;
        } else {
            platform::log("<ERROR> compressionType is not supported");
            job.error |= kErrorCompression;
        }
        const uint32_t count = body[kCompressionNameOffset];
        if (kCompressionNameOffset + 1 + count > place.size) {
            platform::log("<ERROR> Unexpected ckDataSize: %u", place.size);
            failHeader(job);
            return false;
        }
        const char* name = reinterpret_cast<const char*>(body + kCompressionNameOffset + 1);
        platform::logText("<Info>  compressionName = '" + std::string(name, count) + "'");
    }

    const uint64_t audioBytes = uint64_t{job.srcChannels} * job.srcFrames * job.srcSampleBytes;
    platform::log("<Info>  Audio data is %llu bytes", static_cast<unsigned long long>(audioBytes));
    platform::log("<Info>  COMM chunk is good");
    return true;
}

bool examineSsnd(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, bool headerOnly) {
    if (!place.found) {
        platform::log("<ERROR> This file is missing a SSND chunk");
        failHeader(job);
        return false;
    }
    platform::log("<Info> Analysing SSND chunk");
    if (place.size < kSsndPrefixSize) {
        platform::log("<ERROR> Unexpected ckDataSize: %u", place.size);
        failHeader(job);
        return false;
    }
    uint8_t chunk[kChunkHeaderSize + kSsndPrefixSize];
    if (!readers::readAt(job, file, place.position, chunk, sizeof chunk)) return false;
    const uint32_t offset = bytes::readU32BE(chunk + 8);
    const uint32_t blockSize = bytes::readU32BE(chunk + 12);
    platform::log("<Info>  offset = %lx (hex) %li (dec)", static_cast<unsigned long>(offset),
                  static_cast<long>(offset));
    platform::log("<Info>  blockSize = %lx (hex) %li (dec)", static_cast<unsigned long>(blockSize),
                  static_cast<long>(blockSize));
    if (offset > place.size - kSsndPrefixSize) {
        platform::log("<ERROR> SSND offset %u runs past the chunk", offset);
        failHeader(job);
        return false;
    }
    const uint64_t available = place.size - kSsndPrefixSize - offset;
    platform::log("<Info>  Audio data is %lu bytes", static_cast<unsigned long>(available));
    const uint64_t audioBytes = uint64_t{job.srcChannels} * job.srcFrames * job.srcSampleBytes;
    if (audioBytes != available) {
        platform::log("<WARNING> Discrepancy in audio data length between COMM and SSND");
    }
    // Padding after the samples is harmless; fewer samples than COMM announces would have
    // the read run on into the chunks that follow and play them as audio. (A job already
    // failed reads no samples, and its other checks still run.)
    if (audioBytes > available && job.error == 0) {
        platform::log("<ERROR> The SSND chunk holds fewer sample frames than COMM announces");
        failHeader(job);
        return false;
    }
    // Samples are of no use to a job that has already failed.
    if (!headerOnly && job.error == 0 &&
        !readers::readSamples(job, file, place.position + kChunkHeaderSize + kSsndPrefixSize + offset,
                              audioBytes)) {
        return false;
    }
    platform::log("<Info>  SSND chunk is good");
    return true;
}

bool examineSignature(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, bool headerOnly) {
    if (!readers::readSignatureChunk(job, file, place, headerOnly)) return false;
    platform::log("<Info>  QUER chunk is good");
    return true;
}

// The ID3 chunk is kept whole for the output.
bool keepID3Chunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place) {
    platform::log("<Info> Analysing ID3v2 chunk");
    if (!readers::keepWholeChunk(job, file, place, job.srcID3ChunkData)) return false;
    platform::log("<Info>  ID3v2 chunk is good");
    return true;
}

bool examineAesd(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place) {
    platform::log("<Info> Analysing AESD chunk");
    if (place.size != kAesdSize) {
        platform::log("<ERROR> Unexpected ckDataSize");
        failHeader(job);
        return false;
    }
    uint8_t chunk[kChunkHeaderSize + kAesdSize];
    if (!readers::readAt(job, file, place.position, chunk, sizeof chunk)) return false;
    const unsigned b = chunk[kChunkHeaderSize];
    platform::log("<Info>  AESChannelStatusData[0] = %x (hex)", b);
    if ((b & 1) == 0) {
        // Consumer (S/PDIF) status encodes emphasis differently; nothing to report.
        platform::log("<Info>  S/PDIF data detected");
    } else {
        platform::log("<Info>  AES/EBU channel status data detected");
        const unsigned field = (b >> 2) & 7;
        const EmphasisCase* known = nullptr;
        for (const auto& e : kEmphasis) {
            if (e.field == field) known = &e;
        }
        if (known) {
            platform::logText(known->line);
            job.warning |= known->warning;
        } else {
            platform::log("<WARNING> Unexpected state in encoded audio signal emphasis flags");
        }
    }
    platform::log("<Info>  AESD chunk is good");
    return true;
}

}  // namespace

double decodeExtendedRate(const uint8_t* bytes10) {
    const int biased = bytes::readU16BE(bytes10) & 0x7FFF;
    // Byte by byte, most significant first: mantissa × 2^(E − 16383 − 63), exactly for any
    // mantissa of up to 53 significant bits.
    double value = 0.0;
    for (int i = 0; i < 8; ++i) value += std::ldexp(bytes10[2 + i], biased - 16390 - 8 * i);
    return value;
}

void AnalyseAIFC(AudioFile& job, bool headerOnly) {
    job.srcEndianessValues = kBigEndian;
    readers::analyseInputFile(job, headerOnly, &AnalyseAIFC);
}

void AnalyseAIFC(AudioFile& job, ReadOnlyFile& file, bool headerOnly) {
    job.srcEndianessValues = kBigEndian;
    if (!readFormHeader(job, file)) return;

    ChunkPlaces places;
    if (!readers::walkChunks(job, file, kBigEndian, kKnownChunks, places)) return;

    const bool aifc = job.srcFileType == catalogue::kFileAIFC;
    if (aifc && !places[kFver].found) {
        platform::log("<ERROR> This AIFC file is missing an FVER chunk");
        failHeader(job);
        return;
    }
    if (!aifc && places[kFver].found) {
        platform::log("<ERROR> This AIFF file incorrectly has an FVER chunk");
        failHeader(job);
        return;
    }
    if (aifc && !examineFver(job, file, places[kFver])) return;
    if (!examineComm(job, file, places[kComm])) return;
    if (!examineSsnd(job, file, places[kSsnd], headerOnly)) return;
    if (places[kSignature].found && !examineSignature(job, file, places[kSignature], headerOnly)) return;
    if (places[kID3].found && !keepID3Chunk(job, file, places[kID3])) return;
    if (places[kAesd].found) examineAesd(job, file, places[kAesd]);
}

}  // namespace quiramo
