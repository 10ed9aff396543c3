#include "formats/WavReader.h"

#include <cstdint>
#include <vector>

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

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint16_t kExtensibleCbSize = 22;
constexpr uint32_t kStereoChannelMask = 3;  // front left | front right

// The chunks the reader keeps, in the order they are examined after the walk.
enum ChunkSlot { kFmt, kData, kSignature, kBext, kIXML, kID3, kKnownChunkCount };

constexpr readers::KnownChunk kKnownChunks[kKnownChunkCount] = {
    {"fmt ", "<ERROR> There can only be one FMT chunk"},
    {"data", "<ERROR> There can only be one DATA chunk"},
    {"QUER", "<ERROR> There can only be one QUER chunk"},
    {"bext", "<ERROR> There can only be one BEXT chunk"},
    {"iXML", "<ERROR> There can only be one iXML chunk"},
    {"ID3 ", "<ERROR> There can only be one ID3v2 chunk"},
};

using ChunkPlaces = ChunkPlace[kKnownChunkCount];

bool readRiffHeader(AudioFile& job, ReadOnlyFile& file) {
    platform::log("<Info> Analysing RIFF chunk");
    // A file shorter than the header leaves zeros, which match neither ID.
    uint8_t header[readers::kFormHeaderSize] = {};
    file.seek(0);
    file.read(header, sizeof header);
    if (file.failed()) {
        readers::failRead(job);
        return false;
    }
    if (!readers::acceptFormId(job, header, "RIFF", kLittleEndian)) return false;
    if (!bytes::isFourCC(header + 8, "WAVE")) {
        job.srcFileType = 0;
        platform::log("<ERROR> format = file_unknown");
        failHeader(job);
        return false;
    }
    job.srcFileType = catalogue::kFileWAV;
    platform::log("<Info>  format = WAV");
    platform::log("<Info>  RIFF chunk is good");
    return true;
}

// The extensible part of a 40-byte fmt body with cbSize 22.
bool examineExtensible(AudioFile& job, const uint8_t* body) {
    const uint16_t containerBits = bytes::readU16LE(body + 14);
    const uint16_t validBits = bytes::readU16LE(body + 18);
    const uint32_t channelMask = bytes::readU32LE(body + 20);
    const uint16_t subFormat = bytes::readU16LE(body + 24);

    if (validBits == 0 || validBits > containerBits) {
        platform::log("<ERROR> Unexpected wValidBitsPerSample: %u", validBits);
        failHeader(job);
        return false;
    }
    platform::log("<Info>  Valid sample bits = %x (hex) %u (dec)", validBits, validBits);
    const uint32_t validBytes = (validBits + 7u) / 8u;
    if (validBytes == job.srcSampleBytes) {
        job.srcSampleBits = validBits;
    } else {
        // Samples padded into wider containers (24 in 32, say) are not packed the way the
        // conversion reads them: keep the container width so the depth check rejects the
        // file instead of turning it into noise.
        platform::log("<WARNING> Valid sample bits (%u) do not fill the %u-bit container", validBits,
                      static_cast<unsigned>(containerBits));
    }
    platform::log("<Info>  Sample bytes = %x (hex) %u (dec)", job.srcSampleBytes, job.srcSampleBytes);

    platform::log("<Info>  Channel mask = %x (hex) %u (dec)", channelMask, channelMask);
    if (channelMask != kStereoChannelMask) {
        platform::log("<ERROR> Channel mask should be %d", static_cast<int>(kStereoChannelMask));
    }
    platform::log("<Info>  wFormatTag is %x (hex) %u (dec)", subFormat, subFormat);
    if (subFormat != kFormatPcm) {
        platform::log("<ERROR> Extensible file format (%u) is non-PCM", subFormat);
        job.error |= kErrorCompression;
        return false;
    }
    platform::log("<Info>  Extensible file format (%u) is PCM", subFormat);
    return true;
}

bool examineFmt(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place) {
    platform::log("<Info> Analysing fmt chunk");
    // Header and body in one read; the size is checked first so a hostile size never
    // decides how much is read.
    uint8_t chunk[kChunkHeaderSize + 40];
    if (!readers::readAt(job, file, place.position, chunk, kChunkHeaderSize)) return false;
    readers::logChunkHeader(chunk, kLittleEndian);
    const uint32_t size = place.size;
    if (size != 16 && size != 18 && size != 40) {
        platform::log("<ERROR> Unexpected ckDataSize: %u", size);
        failHeader(job);
        return false;
    }
    if (!readers::readAt(job, file, place.position, chunk, kChunkHeaderSize + size)) return false;
    const uint8_t* body = chunk + kChunkHeaderSize;

    const uint16_t formatTag = bytes::readU16LE(body);
    if (formatTag == kFormatPcm) {
        platform::log("<Info>  wFormatTag is %i (WAVE_FORMAT_PCM)", formatTag);
    } else if (formatTag == kFormatExtensible && size == 40) {
        platform::log("<Info>  wFormatTag is %i (WAVE_FORMAT_EXTENSIBLE)", formatTag);
    } else {
        platform::log("<ERROR> Unexpected wFormatTag: %x (hex) %u (dec), ckDataSize: %x (hex) %u (dec)",
                      formatTag, formatTag, size, size);
        job.error |= kErrorCompression;
        return false;
    }

    const uint16_t channels = bytes::readU16LE(body + 2);
    const uint32_t frameRate = bytes::readU32LE(body + 4);
    const uint32_t avgBytesPerSec = bytes::readU32LE(body + 8);
    const uint16_t blockAlign = bytes::readU16LE(body + 12);
    const uint16_t bits = bytes::readU16LE(body + 14);
    job.srcChannels = channels;
    job.srcFrameRate = frameRate;
    job.srcSampleBits = bits;
    job.srcSampleBytes = (bits + 7u) / 8u;
    platform::log("<Info>  nChannels = %x (hex) %u (dec)", job.srcChannels, job.srcChannels);
    platform::log("<Info>  Frame rate = %.1f", job.srcFrameRate);
    platform::log("<Info>  nAvgBytesPerSec = %x (hex) %u (dec)", avgBytesPerSec, avgBytesPerSec);
    platform::log("<Info>  nBlockAlign = %x (hex) %u (dec)", blockAlign, blockAlign);
    platform::log("<Info>  Sample bits = %x (hex) %u (dec)", job.srcSampleBits, job.srcSampleBits);
    platform::log("<Info>  Sample bytes = %x (hex) %u (dec)", job.srcSampleBytes, job.srcSampleBytes);

    // The frame count divides by channels × sample bytes: a header without either
    // describes no audio at all.
    if (channels == 0) {
        platform::log("<ERROR> Unexpected nChannels: %u", channels);
        failHeader(job);
        return false;
    }
    if (bits == 0) {
        platform::log("<ERROR> Unexpected wBitsPerSample: %u", bits);
        failHeader(job);
        return false;
    }

    if (size == 18 || size == 40) {
        const uint16_t cbSize = bytes::readU16LE(body + 16);
        platform::log("<Info>  cbSize = %x (hex) %i (dec)", cbSize, cbSize);
        if (size == 40 && cbSize == kExtensibleCbSize) {
            if (!examineExtensible(job, body)) return false;
        } else if (cbSize != 0) {
            platform::log("<ERROR> Unexpected cbSize: %u", cbSize);
            failHeader(job);
            return false;
        }
    }
    platform::log("<Info>  fmt chunk is good");
    return true;
}

bool examineData(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, bool haveFmt, bool headerOnly) {
    if (!place.found) {
        platform::log("<ERROR> This file is missing a data chunk");
        failHeader(job);
        return false;
    }
    if (!haveFmt) {
        platform::log("<ERROR> This file is missing a fmt chunk");
        failHeader(job);
        return false;
    }
    platform::log("<Info> Analysing data chunk");
    uint8_t header[kChunkHeaderSize];
    if (!readers::readAt(job, file, place.position, header, sizeof header)) return false;
    readers::logChunkHeader(header, kLittleEndian);

    // Both factors are non-zero (examineFmt) and the product fits 32 bits (16 × 13 bits).
    const uint64_t frameBytes = uint64_t{job.srcSampleBytes} * job.srcChannels;
    job.srcFrames = static_cast<uint32_t>(place.size / frameBytes);
    const uint64_t audioBytes = uint64_t{job.srcFrames} * frameBytes;  // <= place.size
    platform::log("<Info>  Sample frames = %x (hex) %u (dec)", job.srcFrames, job.srcFrames);
    platform::log("<Info>  Audio data is %u bytes", static_cast<uint32_t>(audioBytes));
    if (audioBytes != place.size)
        platform::log("<WARNING> Discrepancy in audio data length between fmt and data");

    if (!headerOnly && !readers::readSamples(job, file, place.position + kChunkHeaderSize, audioBytes)) {
        return false;
    }
    platform::log("<Info>  data chunk is good");
    return true;
}

// bext, iXML and ID3 are kept whole for the output.
bool keepMetadataChunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, const char* title,
                       std::vector<uint8_t>& store, const char* goodLine) {
    platform::logText(title);
    uint8_t header[kChunkHeaderSize];
    if (!readers::readAt(job, file, place.position, header, sizeof header)) return false;
    readers::logChunkHeader(header, kLittleEndian);
    if (!readers::keepWholeChunk(job, file, place, store)) return false;
    platform::logText(goodLine);
    return true;
}

}  // namespace

void AnalyseWAV(AudioFile& job, bool headerOnly) {
    job.srcEndianessValues = kLittleEndian;
    job.srcEndianessData = kLittleEndian;
    readers::analyseInputFile(job, headerOnly, &AnalyseWAV);
}

void AnalyseWAV(AudioFile& job, ReadOnlyFile& file, bool headerOnly) {
    job.srcEndianessValues = kLittleEndian;
    job.srcEndianessData = kLittleEndian;
    if (!readRiffHeader(job, file)) return;

    ChunkPlaces places;
    if (!readers::walkChunks(job, file, kLittleEndian, kKnownChunks, places)) return;

    if (places[kFmt].found && !examineFmt(job, file, places[kFmt])) return;
    if (!examineData(job, file, places[kData], places[kFmt].found, headerOnly)) return;
    if (places[kSignature].found && !readers::readSignatureChunk(job, file, places[kSignature], headerOnly)) {
        return;
    }
    if (places[kBext].found &&
        !keepMetadataChunk(job, file, places[kBext], "<Info> Analysing Broadcast Wave chunk",
                           job.srcBextChunkData, "<Info>  BEXT chunk is good")) {
        return;
    }
    if (places[kIXML].found && !keepMetadataChunk(job, file, places[kIXML], "<Info> Analysing iXML chunk",
                                                  job.srcIXMLChunkData, "<Info>  iXML chunk is good")) {
        return;
    }
    if (places[kID3].found) {
        keepMetadataChunk(job, file, places[kID3], "<Info> Analysing ID3v2 chunk", job.srcID3ChunkData,
                          "<Info>  ID3v2 chunk is good");
    }
}

}  // namespace quiramo
