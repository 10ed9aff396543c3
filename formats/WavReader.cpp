#include "formats/WavReader.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "formats/SignatureChunk.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

constexpr uint64_t kRiffHeaderSize = 12;
constexpr uint64_t kChunkHeaderSize = 8;

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint16_t kExtensibleCbSize = 22;
constexpr uint32_t kStereoChannelMask = 3;  // front left | front right

// The chunks the reader keeps, in the order they are examined after the walk.
enum KnownChunk { kFmt, kData, kSignature, kBext, kIXML, kID3, kKnownChunkCount };

struct KnownChunkInfo {
    char id[5];
    const char* duplicateLine;
};

constexpr KnownChunkInfo kKnownChunks[kKnownChunkCount] = {
    {"fmt ", "<ERROR> There can only be one FMT chunk"},
    {"data", "<ERROR> There can only be one DATA chunk"},
    {"QUER", "<ERROR> There can only be one QUER chunk"},
    {"bext", "<ERROR> There can only be one BEXT chunk"},
    {"iXML", "<ERROR> There can only be one iXML chunk"},
    {"ID3 ", "<ERROR> There can only be one ID3v2 chunk"},
};

struct ChunkPlace {
    bool found = false;
    uint64_t position = 0;  // of the chunk header
    uint32_t size = 0;      // declared body size
};

using ChunkPlaces = ChunkPlace[kKnownChunkCount];

int knownChunkIndex(const uint8_t* id) {
    for (int k = 0; k < kKnownChunkCount; ++k) {
        if (bytes::isFourCC(id, kKnownChunks[k].id)) return k;
    }
    return -1;
}

const char* idText(const uint8_t* id) {
    return reinterpret_cast<const char*>(id);
}

void failHeader(AudioFile& job) {
    job.error |= kErrorHeader;
}

// The walk has checked every chunk against the file length, so a read that comes up short
// means the file changed or the disk failed underneath us.
void failRead(AudioFile& job) {
    platform::log("<ERROR> Failed to read %s", job.inputFile.c_str());
    job.error |= kErrorCannotOpen;
}

bool readAt(ReadOnlyFile& file, uint64_t offset, uint8_t* destination, size_t n) {
    return file.seek(offset) && file.read(destination, n) == n;
}

void logChunkHeader(const uint8_t* header) {
    const uint32_t size = bytes::readU32LE(header + 4);
    platform::log("<Info>  ckID = %4.4s", idText(header));
    platform::log("<Info>  ckDataSize = %x (hex) %u (dec)", size, size);
}

bool readRiffHeader(AudioFile& job, ReadOnlyFile& file) {
    platform::log("<Info> Analysing RIFF chunk");
    // A file shorter than the header leaves zeros, which match neither ID.
    uint8_t header[kRiffHeaderSize] = {};
    file.seek(0);
    file.read(header, sizeof header);
    if (file.failed()) {
        failRead(job);
        return false;
    }
    if (!bytes::isFourCC(header, "RIFF")) {
        platform::log("<ERROR> Unexpected chunk ID: %4.4s", idText(header));
        failHeader(job);
        return false;
    }
    const uint32_t riffSize = bytes::readU32LE(header + 4);
    platform::log("<Info>  ckID = %4.4s", idText(header));
    platform::log("<Info>  ckDataSize = %x (hex) %i (dec)", riffSize, static_cast<int>(riffSize));
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

// Walks the chunks in file order, remembering where the known ones are and counting the
// bytes of the others. Any order is allowed; a known chunk may occur once.
bool walkChunks(AudioFile& job, ReadOnlyFile& file, ChunkPlaces places) {
    const uint64_t length = file.length();
    uint64_t p = kRiffHeaderSize;
    uint64_t discarded = 0;
    job.discardBytes = 0;
    platform::log("<Info> Eumerating remaining chunks");
    if (p + kChunkHeaderSize >= length) {
        platform::log("<Info>  Bytes from unknown chunks = %x (hex) %u (dec)", 0u, 0u);
        return true;  // no room for a chunk: the data check reports it
    }
    do {
        uint8_t header[kChunkHeaderSize];
        if (!readAt(file, p, header, sizeof header)) {
            failRead(job);
            return false;
        }
        const uint32_t size = bytes::readU32LE(header + 4);
        platform::log("<Info>  ckID = %4.4s", idText(header));

        const int k = knownChunkIndex(header);
        if (k >= 0) {
            if (places[k].found) {
                platform::logText(kKnownChunks[k].duplicateLine);
                failHeader(job);
                return false;
            }
            places[k] = {true, p, size};
        } else {
            platform::log("<Info>  Discarding chunk");
            discarded += kChunkHeaderSize + size;
            // Nothing reads the count; it only has to stay meaningful, so it saturates.
            job.discardBytes = static_cast<uint32_t>(std::min<uint64_t>(discarded, UINT32_MAX));
        }
        platform::log("<Info>  ckDataSize = %x (hex) %u (dec)", size, size);

        p += kChunkHeaderSize + size;  // 64-bit: cannot wrap
        if (p > length) {
            platform::log("<ERROR> Chunk length overruns the file length");
            failHeader(job);
            return false;
        }
        // An odd body is followed by a pad byte, unless it ends the file.
        if ((size & 1) && p != length) {
            platform::log("<WARNING> Chunk has an odd number of bytes");
            ++p;
        }
        file.seek(p);
        platform::log("<Info>  %lli bytes remaining", static_cast<long long>(length - p));
    } while (p + kChunkHeaderSize < length);
    platform::log("<Info>  Bytes from unknown chunks = %x (hex) %u (dec)", job.discardBytes,
                  job.discardBytes);
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
    if (!readAt(file, place.position, chunk, kChunkHeaderSize)) {
        failRead(job);
        return false;
    }
    logChunkHeader(chunk);
    const uint32_t size = place.size;
    if (size != 16 && size != 18 && size != 40) {
        platform::log("<ERROR> Unexpected ckDataSize: %u", size);
        failHeader(job);
        return false;
    }
    if (!readAt(file, place.position, chunk, kChunkHeaderSize + size)) {
        failRead(job);
        return false;
    }
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
    if (!readAt(file, place.position, header, sizeof header)) {
        failRead(job);
        return false;
    }
    logChunkHeader(header);

    // Both factors are non-zero (examineFmt) and the product fits 32 bits (16 × 13 bits).
    const uint64_t frameBytes = uint64_t{job.srcSampleBytes} * job.srcChannels;
    job.srcFrames = static_cast<uint32_t>(place.size / frameBytes);
    const uint64_t audioBytes = uint64_t{job.srcFrames} * frameBytes;  // <= place.size
    platform::log("<Info>  Sample frames = %x (hex) %u (dec)", job.srcFrames, job.srcFrames);
    platform::log("<Info>  Audio data is %u bytes", static_cast<uint32_t>(audioBytes));
    if (audioBytes != place.size)
        platform::log("<WARNING> Discrepancy in audio data length between fmt and data");

    if (!headerOnly) {
        platform::log("<Info>  Reading audio data");
        // Read straight into the record's buffer: no second copy of a whole side.
        if (!AllocateSrcAudioData(job, audioBytes)) return false;
        if (audioBytes > 0 &&
            !readAt(file, place.position + kChunkHeaderSize, job.srcAudioData.data(), audioBytes)) {
            job.srcAudioData.release();
            failRead(job);
            return false;
        }
    }
    platform::log("<Info>  data chunk is good");
    return true;
}

bool examineSignature(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, bool headerOnly) {
    platform::log("<Info> Analysing QUER chunk");
    // Decoding looks at no more than the 66 bytes of the current layout; a longer chunk
    // from a later version keeps its extra bytes to itself.
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(kChunkHeaderSize + place.size, kSignatureChunkSize));
    uint8_t chunk[kSignatureChunkSize];
    if (!readAt(file, place.position, chunk, n)) {
        failRead(job);
        return false;
    }
    const int errorBefore = job.error;
    DecodeMetadataChunk(job, chunk, n, headerOnly);
    return job.error == errorBefore;
}

// bext, iXML and ID3 are kept whole (header included, pad byte excluded) for the output;
// a copy stored by an earlier pass of the job stays.
bool keepMetadataChunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, const char* title,
                       std::vector<uint8_t>& store, const char* goodLine) {
    platform::logText(title);
    uint8_t header[kChunkHeaderSize];
    if (!readAt(file, place.position, header, sizeof header)) {
        failRead(job);
        return false;
    }
    logChunkHeader(header);
    if (store.empty()) {
        const size_t total = static_cast<size_t>(kChunkHeaderSize + place.size);
        std::vector<uint8_t> chunk;
        try {
            chunk.resize(total);
        } catch (const std::bad_alloc&) {
            reportAllocationFailure(job);
            return false;
        }
        if (!readAt(file, place.position, chunk.data(), total)) {
            failRead(job);
            return false;
        }
        store = std::move(chunk);
    }
    platform::logText(goodLine);
    return true;
}

}  // namespace

void AnalyseWAV(AudioFile& job, bool headerOnly) {
    job.srcEndianessValues = kLittleEndian;
    job.srcEndianessData = kLittleEndian;
    ReadOnlyFile file;
    if (!file.open(job.inputFile)) {
        // Without this the processing pass would go on with no samples at all.
        platform::log("<ERROR> Failed to open %s", job.inputFile.c_str());
        job.error |= kErrorCannotOpen;
        return;
    }
    AnalyseWAV(job, file, headerOnly);
}

void AnalyseWAV(AudioFile& job, ReadOnlyFile& file, bool headerOnly) {
    job.srcEndianessValues = kLittleEndian;
    job.srcEndianessData = kLittleEndian;
    if (!readRiffHeader(job, file)) return;

    ChunkPlaces places;
    if (!walkChunks(job, file, places)) return;

    if (places[kFmt].found && !examineFmt(job, file, places[kFmt])) return;
    if (!examineData(job, file, places[kData], places[kFmt].found, headerOnly)) return;
    if (places[kSignature].found && !examineSignature(job, file, places[kSignature], headerOnly)) return;
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
