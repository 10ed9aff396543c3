#pragma once
// What the readers share. For RIFF and IFF alike: the walk over the chunks after the form
// header, reads at an offset checked against the file, the chunk header's log lines, the
// signature chunk and the chunks kept whole for the output; the two formats differ here
// only in the byte order of the chunk sizes and in the chunks they look for. For every
// reader: opening the source file.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/record/AudioFile.h"

namespace quiramo {
class ReadOnlyFile;

namespace readers {

// The form header of either format: "RIFF" or "FORM", the form size, the form type.
inline constexpr uint64_t kFormHeaderSize = 12;

// A chunk a reader looks for, and the line it logs when the chunk occurs twice.
struct KnownChunk {
    char id[5];
    const char* duplicateLine;
};

// Where the walk found a known chunk.
struct ChunkPlace {
    bool found = false;
    uint64_t position = 0;  // of the chunk header
    uint32_t size = 0;      // declared body size
};

// A reader's analysis of a file that is already open.
using AnalyseOpenFile = void (*)(AudioFile& job, ReadOnlyFile& file, bool headerOnly);

// Opens job.inputFile and hands it to analyse. A file that cannot be opened is logged and
// fails the job.
void analyseInputFile(AudioFile& job, bool headerOnly, AnalyseOpenFile analyse);

// The four ID bytes at id, for a "%4.4s" in a log line.
const char* idText(const uint8_t* id);

void failHeader(AudioFile& job);

// A read that failed or came up short where the file was known to hold the bytes (the walk
// has checked every chunk against the file length): the file changed or the disk failed
// underneath us.
void failRead(AudioFile& job);

// Reads n bytes at offset; false, the job failed by failRead, unless all of them came.
bool readAt(AudioFile& job, ReadOnlyFile& file, uint64_t offset, uint8_t* destination, size_t n);

// Reads the sample bytes at offset straight into the record's buffer: a side is hundreds of
// megabytes, not to be copied. A failed job keeps no half of it.
bool readSamples(AudioFile& job, ReadOnlyFile& file, uint64_t offset, uint64_t audioBytes);

// The ID and size lines of the chunk header at header.
void logChunkHeader(const uint8_t* header, ByteOrder order);

// Checks the ID of the form header ("RIFF" or "FORM") and logs the header; another ID is
// logged and fails the job.
bool acceptFormId(AudioFile& job, const uint8_t* header, const char (&id)[5], ByteOrder order);

// Walks the chunks after the form header in file order, remembering in places where the
// known chunks are and counting the bytes of the others. Any order is allowed; a known
// chunk may occur once.
bool walkChunks(AudioFile& job, ReadOnlyFile& file, ByteOrder order, const KnownChunk* known,
                ChunkPlace* places, size_t count);

template <size_t N>
bool walkChunks(AudioFile& job, ReadOnlyFile& file, ByteOrder order, const KnownChunk (&known)[N],
                ChunkPlace (&places)[N]) {
    return walkChunks(job, file, order, known, places, N);
}

// Decodes the signature chunk an earlier conversion left. False when it failed the job.
bool readSignatureChunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, bool headerOnly);

// Keeps the chunk whole (header included, pad byte excluded) in store for the output; a
// copy stored by an earlier pass of the job stays.
bool keepWholeChunk(AudioFile& job, ReadOnlyFile& file, const ChunkPlace& place, std::vector<uint8_t>& store);

}  // namespace readers
}  // namespace quiramo
