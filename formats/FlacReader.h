#pragma once
// The FLAC reader, on libFLAC's stream decoder: stream parameters, Vorbis comments, one
// picture and the chunks an earlier conversion or another tool stored in APPLICATION
// blocks (signature, bext, iXML, ID3) for an analysis; the whole stream as packed
// little-endian integers for a processing pass.

#include <FLAC/metadata.h>

#include <memory>

namespace quiramo {
class AudioFile;
class ReadOnlyFile;

namespace flac {
// libFLAC objects (metadata blocks, the decoder, the encoder) are owned through handles with
// the library's delete function as deleter and nothing else, so every path frees them.
template <auto destroy>
struct Deleter {
    template <typename T>
    void operator()(T* object) const {
        destroy(object);
    }
};
using Metadata = std::unique_ptr<FLAC__StreamMetadata, Deleter<FLAC__metadata_object_delete>>;
}  // namespace flac

// Reads the file named by job.inputFile. With headerOnly set only the metadata is decoded
// and kept; with it clear the samples are decoded into srcAudioData.
void AnalyseFLAC(AudioFile& job, bool headerOnly);

// The same on a file that is already open (a memory image, for tests and the fuzzer).
void AnalyseFLAC(AudioFile& job, ReadOnlyFile& file, bool headerOnly);

}  // namespace quiramo
