#include "formats/ReaderSupport.h"

#include <algorithm>
#include <new>
#include <utility>

#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "formats/SignatureChunk.h"
#include "platform/Log.h"

namespace quiramo::readers {
namespace {

using bytes::kChunkHeaderSize;

uint32_t chunkSize(const uint8_t* header, ByteOrder order) {
    return order == kBigEndian ? bytes::readU32BE(header + 4) : bytes::readU32LE(header + 4);
}

int knownChunkIndex(const uint8_t* id, const KnownChunk* known, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        if (bytes::isFourCC(id, known[k].id)) return static_cast<int>(k);
    }
    return -1;
}

}  // namespace

void analyseInputFile(AudioFile& job, bool headerOnly, AnalyseOpenFile analyse) {
    ReadOnlyFile file;
    if (!file.open(job.inputFile)) {
        // Without this the processing pass would go on with no samples at all.
        platform::log("<ERROR> Failed to open %s", job.inputFile.c_str());
        job.error |= kErrorCannotOpen;
        return;
    }
    analyse(job, file, headerOnly);
}

const char* idText(const uint8_t* id) {
    return reinterpret_cast<const char*>(id);
}

void failHeader(AudioFile& job) {
    job.error |= kErrorHeader;
}

void failRead(AudioFile& job) {
    platform::log("<ERROR> Failed to read %s", job.inputFile.c_str());
    job.error |= kErrorCannotOpen;
}

bool readAt(AudioFile& job, ReadOnlyFile& file, uint64_t offset, uint8_t* destination, size_t n) {
    if (file.seek(offset) && file.read(destination, n) == n) return true;
    failRead(job);
    return false;
}

bool readSamples(AudioFile& job, ReadOnlyFile& file, uint64_t offset, uint64_t audioBytes) {
    platform::log("<Info>  Reading audio data");
    if (!AllocateSrcAudioData(job, audioBytes)) return false;
    if (audioBytes > 0 && !readAt(job, file, offset, job.srcAudioData.data(), audioBytes)) {
        job.srcAudioData.release();
        return false;
    }
    return true;
}

void logChunkHeader(const uint8_t* header, ByteOrder order) {
    const uint32_t size = chunkSize(header, order);
    platform::log("<Info>  ckID = %4.4s", idText(header));
    platform::log("<Info>  ckDataSize = %x (hex) %u (dec)", size, size);
}

bool acceptFormId(AudioFile& job, const uint8_t* header, const char (&id)[5], ByteOrder order) {
    if (!bytes::isFourCC(header, id)) {
        platform::log("<ERROR> Unexpected chunk ID: %4.4s", idText(header));
        failHeader(job);
        return false;
    }
    const uint32_t size = chunkSize(header, order);
    platform::log("<Info>  ckID = %4.4s", idText(header));
    platform::log("<Info>  ckDataSize = %x (hex) %i (dec)", size, static_cast<int>(size));
    return true;
}

bool walkChunks(AudioFile& job, ReadOnlyFile& file, ByteOrder order, const KnownChunk* known,
                ChunkPlace* places, size_t count) {
    const uint64_t length = file.length();
    uint64_t p = kFormHeaderSize;
    uint64_t discarded = 0;
    job.discardBytes = 0;
    platform::log("<Info> Eumerating remaining chunks");
    if (p + kChunkHeaderSize >= length) {
        platform::log("<Info>  Bytes from unknown chunks = %x (hex) %u (dec)", 0u, 0u);
        return true;  // no room for a chunk: the check of the mandatory chunks reports it
    }
    do {
        uint8_t header[kChunkHeaderSize];
        if (!readAt(job, file, p, header, sizeof header)) return false;
        const uint32_t size = chunkSize(header, order);
        platform::log("<Info>  ckID = %4.4s", idText(header));

        const int k = knownChunkIndex(header, known, count);
        if (k >= 0) {
            if (places[k].found) {
                platform::logText(known[k].duplicateLine);
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

bool readSignatureChunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, bool headerOnly) {
    platform::log("<Info> Analysing QUER chunk");
    // Decoding looks at no more than the 66 bytes of the current layout; a longer chunk
    // from a later version keeps its extra bytes to itself.
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(kChunkHeaderSize + place.size, kSignatureChunkSize));
    uint8_t chunk[kSignatureChunkSize];
    if (!readAt(job, file, place.position, chunk, n)) return false;
    const int errorBefore = job.error;
    DecodeMetadataChunk(job, chunk, n, headerOnly);
    return job.error == errorBefore;
}

bool keepWholeChunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place,
                    std::vector<uint8_t>& store) {
    if (!store.empty()) return true;
    const size_t total = static_cast<size_t>(kChunkHeaderSize + place.size);
    std::vector<uint8_t> chunk;
    try {
        chunk.resize(total);
    } catch (const std::bad_alloc&) {
        reportAllocationFailure(job);
        return false;
    }
    if (!readAt(job, file, place.position, chunk.data(), total)) return false;
    store = std::move(chunk);
    return true;
}

}  // namespace quiramo::readers
