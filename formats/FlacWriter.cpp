#include "formats/FlacWriter.h"

#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "formats/Bytes.h"
#include "formats/FlacReader.h"
#include "formats/Metadata.h"
#include "formats/SignatureChunk.h"
#include "formats/WriterSupport.h"
#include "platform/Assert.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using Encoder = std::unique_ptr<FLAC__StreamEncoder, flac::Deleter<FLAC__stream_encoder_delete>>;

constexpr unsigned kCompressionLevel = 5;
constexpr uint32_t kPaddingLength = 8192;
// Frames handed to the encoder per call: the unit of progress and of cancellation, and of
// the scratch buffer the stored samples are unpacked into.
constexpr uint32_t kFramesPerCall = 16384;

struct BlockFailure {
    const char* allocation;
    const char* copy;
};

constexpr BlockFailure kSignatureOrBextFailure = {"<ERROR> FLAC metadata allocation",
                                                  "<ERROR> FLAC metadata copy"};
constexpr BlockFailure kIXMLFailure = {"<ERROR> iXML metadata allocation", "<ERROR> iXML metadata copy"};
constexpr BlockFailure kID3Failure = {"<ERROR> ID3v2 metadata allocation", "<ERROR> ID3v2 metadata copy"};

class BlockList {
  public:
    explicit BlockList(AudioFile& job) : job_(job) {}

    // A new block of the given type, owned by the list; nullptr (logged, error set) when it
    // cannot be had.
    FLAC__StreamMetadata* add(FLAC__MetadataType type, const char* failureLine) {
        flac::Metadata block(FLAC__metadata_object_new(type));
        if (block) {
            try {
                blocks_.push_back(std::move(block));
                return blocks_.back().get();
            } catch (const std::bad_alloc&) {
            }
        }
        return fail(failureLine);
    }

    // An APPLICATION block "riff" holding one chunk with its header.
    bool addChunk(const std::vector<uint8_t>& chunk, const BlockFailure& failure) {
        FLAC__StreamMetadata* block = add(FLAC__METADATA_TYPE_APPLICATION, failure.allocation);
        if (!block) return false;
        std::memcpy(block->data.application.id, "riff", 4);
        // libFLAC copies the data (the last argument), it never writes through the pointer.
        if (!FLAC__metadata_object_application_set_data(block, const_cast<FLAC__byte*>(chunk.data()),
                                                        static_cast<uint32_t>(chunk.size()), true)) {
            return fail(failure.copy) != nullptr;
        }
        return true;
    }

    bool addPadding(const char* failureLine) {
        FLAC__StreamMetadata* block = add(FLAC__METADATA_TYPE_PADDING, failureLine);
        if (!block) return false;
        block->length = kPaddingLength;
        return true;
    }

    FLAC__StreamMetadata* fail(const char* line) {
        platform::logText(line);
        job_.error |= kErrorMemory;
        return nullptr;
    }

    // The list the encoder reads; the blocks stay owned here until after it has finished.
    std::vector<FLAC__StreamMetadata*> pointers() const {
        std::vector<FLAC__StreamMetadata*> p;
        for (const auto& b : blocks_) p.push_back(b.get());
        return p;
    }

  private:
    AudioFile& job_;
    std::vector<flac::Metadata> blocks_;
};

// One metadata chunk from its builder, as its APPLICATION block carries it.
bool addBuiltChunk(AudioFile& job, BlockList& blocks, writers::ChunkBuilder build, uint64_t size,
                   const BlockFailure& failure) {
    if (!writers::isWrittenChunkSize(size)) return true;
    std::vector<uint8_t> chunk;
    if (!writers::buildChunk(job, build, size, chunk)) return false;
    return blocks.addChunk(chunk, failure);
}

bool addVorbisComments(AudioFile& job, BlockList& blocks) {
    FLAC__StreamMetadata* block =
        blocks.add(FLAC__METADATA_TYPE_VORBIS_COMMENT, "<ERROR> Vorbis comment metadata allocation");
    if (!block) return false;
    for (const std::string& comment : job.srcVorbisComments) {
        const size_t equals = comment.find('=');
        if (equals == std::string::npos) continue;  // no field name: nothing to carry
        const std::string name = comment.substr(0, equals);
        const std::string value = comment.substr(equals + 1);
        // libFLAC refuses such a name; one odd tag must not cost the whole conversion.
        if (!FLAC__format_vorbiscomment_entry_name_is_legal(name.c_str())) {
            platform::log("<WARNING> Vorbis comment not carried over: %s", comment.c_str());
            continue;
        }
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(),
                                                                            value.c_str())) {
            blocks.fail("<ERROR> Vorbis comment metadata handling");
            return false;
        }
        // Handed over, not copied: the block owns the entry from here on.
        if (!FLAC__metadata_object_vorbiscomment_append_comment(block, entry, false)) {
            std::free(entry.entry);
            blocks.fail("<ERROR> Vorbis comment metadata handling");
            return false;
        }
    }
    return blocks.addPadding("<ERROR> Vorbis comment padding allocation");
}

bool addPicture(const FlacPicture& picture, BlockList& blocks) {
    FLAC__StreamMetadata* block =
        blocks.add(FLAC__METADATA_TYPE_PICTURE, "<ERROR> Picture metadata allocation");
    if (!block) return false;
    auto& p = block->data.picture;
    // A type beyond the defined ones has no enumerator to hold it: it becomes "Other".
    p.type = picture.type <= FLAC__STREAM_METADATA_PICTURE_TYPE_PUBLISHER_LOGOTYPE
                 ? static_cast<FLAC__StreamMetadata_Picture_Type>(picture.type)
                 : FLAC__STREAM_METADATA_PICTURE_TYPE_OTHER;
    p.width = picture.width;
    p.height = picture.height;
    p.depth = picture.depth;
    p.colors = picture.colors;
    // All three copy; libFLAC never writes through the pointers.
    std::string mime = picture.mimeType;
    std::string description = picture.description;
    if (!FLAC__metadata_object_picture_set_mime_type(block, mime.data(), true) ||
        !FLAC__metadata_object_picture_set_description(
            block, reinterpret_cast<FLAC__byte*>(description.data()), true) ||
        !FLAC__metadata_object_picture_set_data(block, const_cast<FLAC__byte*>(picture.data.data()),
                                                static_cast<FLAC__uint32>(picture.data.size()), true)) {
        blocks.fail("<ERROR> Picture metadata copy");
        return false;
    }
    return true;
}

// The blocks in the order readers find them: signature, bext, iXML, ID3 (then padding),
// Vorbis comments (then padding), picture.
bool buildBlocks(AudioFile& job, BlockList& blocks) {
    std::vector<uint8_t> signature;
    CreateMetadataChunk(job, signature);
    if (job.error || !blocks.addChunk(signature, kSignatureOrBextFailure)) return false;

    const uint64_t id3Size = job.srcID3ChunkData.size();
    if (!addBuiltChunk(job, blocks, &CreateBextChunk, writers::bextChunkSize(job), kSignatureOrBextFailure))
        return false;
    if (!addBuiltChunk(job, blocks, &CreateIXMLChunk, writers::ixmlChunkSize(job), kIXMLFailure)) return false;
    if (id3Size > bytes::kChunkHeaderSize) {
        if (!addBuiltChunk(job, blocks, &CreateID3Chunk, id3Size, kID3Failure)) return false;
        if (!blocks.addPadding("<ERROR> ID3v2 padding allocation")) return false;
    }
    if (!job.srcVorbisComments.empty() && !addVorbisComments(job, blocks)) return false;
    if (!job.srcPictureChunkDict.empty() && !addPicture(job.srcPictureChunkDict.front(), blocks))
        return false;
    return true;
}

// Hands the stored samples to the encoder a slice at a time, counting progress per slice.
// False when the encoder refused a slice or the job was asked to stop.
bool encodeSamples(AudioFile& job, FLAC__StreamEncoder* encoder) {
    const uint32_t channels = job.dstChannelsData;
    const uint32_t frames = job.dstFrames;
    const bool bigEndian = job.dstEndianessData == kBigEndian;
    std::vector<FLAC__int32> slice(size_t{kFramesPerCall} * channels);
    const uint8_t* in = job.dstAudioData.data();
    const uint64_t slices = (uint64_t{frames} + kFramesPerCall - 1) / kFramesPerCall;
    Progress progress = jobProgress(job, progressInterval(slices), 0);
    if (!progress.set(0)) return false;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(kFramesPerCall, frames - done);
        const size_t samples = size_t{n} * channels;
        for (size_t i = 0; i < samples; ++i, in += 4) {
            slice[i] = static_cast<FLAC__int32>(bigEndian ? bytes::readU32BE(in) : bytes::readU32LE(in));
        }
        if (!FLAC__stream_encoder_process_interleaved(encoder, slice.data(), n)) return false;
        done += n;
        if (!progress.step()) return false;
    }
    return true;
}

void encode(AudioFile& job, const std::string& path) {
    const uint64_t needed = uint64_t{job.dstFrames} * job.dstChannelsData * job.dstSampleBytes;
    if (job.dstSampleBytes != 4 || job.dstChannelsData == 0 || job.dstAudioData.size() < needed) {
        job.error |= kErrorUnknown;
        QRM_FAIL("Unexpected dataSize in %s", __func__);
        return;
    }

    // Declared first, so that the encoder has closed the temporary file by the time an
    // unfinished one is removed.
    platform::AtomicFile file;
    const Encoder encoder(FLAC__stream_encoder_new());
    if (!encoder) {
        platform::log("<ERROR> FLAC encoder allocation");
        job.error |= kErrorMemory;
        return;
    }
    FLAC__StreamEncoder* e = encoder.get();
    // A rate FLAC cannot state is refused by the encoder; it must not be converted out of range.
    const uint32_t rate = writers::frameRateField(job.dstFrameRate);
    const bool settingsTaken = FLAC__stream_encoder_set_verify(e, true) &&
                               FLAC__stream_encoder_set_compression_level(e, kCompressionLevel) &&
                               FLAC__stream_encoder_set_channels(e, job.dstChannelsData) &&
                               FLAC__stream_encoder_set_bits_per_sample(e, job.dstSampleBits) &&
                               FLAC__stream_encoder_set_sample_rate(e, rate) &&
                               FLAC__stream_encoder_set_total_samples_estimate(e, job.dstFrames);

    // The blocks live until the encoder is gone: it reads them while it writes the file.
    BlockList blocks(job);
    if (!buildBlocks(job, blocks)) return;

    bool ok = settingsTaken;
    std::vector<FLAC__StreamMetadata*> list = blocks.pointers();
    ok = ok && FLAC__stream_encoder_set_metadata(e, list.data(), static_cast<uint32_t>(list.size()));

    std::string errorText;
    if (ok && !file.open(path, errorText)) {
        platform::log("<ERROR> %s", errorText.c_str());
        job.error |= kErrorCannotSave;
        return;
    }
    if (ok) {
        const FLAC__StreamEncoderInitStatus status =
            FLAC__stream_encoder_init_file(e, file.temporaryPath().c_str(), nullptr, nullptr);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            platform::log("<ERROR> FLAC encoder initialisation: %s",
                          FLAC__StreamEncoderInitStatusString[status]);
            ok = false;
        } else {
            ok = encodeSamples(job, e);
        }
    }
    // Finishing flushes the last frames, completes verification and rewrites STREAMINFO.
    ok = FLAC__stream_encoder_finish(e) && ok;
    platform::log("<Info> FLAC encoding %s", ok ? "complete" : "failed");
    // The state says why; it goes to the log like everything else, so that the command line
    // stays quiet when asked to.
    if (!ok) {
        platform::log("<ERROR> FLAC encoder state: %s",
                      FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(e)]);
    }

    if (job.checkCancelled()) return;  // the temporary file goes with `file`
    if (!ok) {
        job.error |= kErrorCannotSave;
        return;
    }
    if (!file.commit(errorText)) {
        platform::log("<ERROR> %s", errorText.c_str());
        job.error |= kErrorCannotSave;
    }
}

}  // namespace

void CreateDestBufferFLAC(AudioFile& job, const std::string& path) {
    job.setText(Column::state, "Encoding file...");
    job.setText(Column::progress, "");
    job.postRefresh();
    try {
        encode(job, path);
    } catch (const std::bad_alloc&) {
        reportAllocationFailure(job);
    }
}

}  // namespace quiramo
